// A bench for the programmer-memory operations: the link bench with code
// files in a private temporary directory, and readers that turn the trace
// into headers, data writes and a short summary.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/protocol.h"
#include "ui/control_ids.h"
#include "link/connection.h"
#include "tests/support/link_fixture.h"

namespace zvp::test {

class MemoryTest : public LinkTest {
 protected:
  using Bytes = std::vector<uint8_t>;

  void SetUp() override {
    LinkTest::SetUp();
    OpenQuietly();
    std::random_device random;
    dir_ = std::filesystem::temp_directory_path() /
           ("zvp_progmem_" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
    LinkTest::TearDown();
  }

  // Writes a raw image and names it in the file box.
  std::string UseBinFile(const Bytes& image, const std::string& name = "code.bin") {
    const std::filesystem::path path = dir_ / name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    out.close();
    window_->SetText(ctl::kFileBox, path.string());
    return path.string();
  }

  // An image of `size` erased bytes with `fill` at first..last.
  static Bytes Image(size_t size, uint32_t first, uint32_t last) {
    Bytes image(size, 0xFF);
    for (uint32_t a = first; a <= last && a < size; ++a)
      image[a] = static_cast<uint8_t>((a * 13 + 7) % 251);  // never 0xFF
    return image;
  }

  static Bytes FromHex(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
      out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
  }

  static bool IsHeader(const Bytes& b) {
    return b.size() == kHeaderSize && std::equal(kHeaderMagic, kHeaderMagic + 4, b.begin() + hdr::kMagic);
  }

  // The bytes a write moved, from its trace details "done/n[ HEX][ fail]".
  static Bytes Written(const std::string& details) {
    const size_t space = details.find(' ');
    if (details.rfind("0/", 0) == 0 || space == std::string::npos) return {};
    return FromHex(details.substr(space + 1, details.find(' ', space + 1) - space - 1));
  }

  // The bytes of every write, in order (empty for a write that moved none).
  std::vector<Bytes> Writes() const {
    std::vector<Bytes> out;
    for (const std::string& w : Calls("WRITE")) out.push_back(Written(w));
    return out;
  }
  std::vector<Bytes> Headers() const {
    std::vector<Bytes> out;
    for (const Bytes& w : Writes())
      if (IsHeader(w)) out.push_back(w);
    return out;
  }
  // The data writes (everything that is not a header), in order.
  std::vector<Bytes> DataWrites() const {
    std::vector<Bytes> out;
    for (const Bytes& w : Writes())
      if (!IsHeader(w)) out.push_back(w);
    return out;
  }

  // The operation's outline: headers as "H<command>", pauses as "D<ms>",
  // data writes as "W<bytes>", runs of the same token as "<token>*<count>".
  std::string Outline() const {
    std::vector<std::string> tokens;
    for (const std::string& l : lines_) {
      if (l.rfind("DELAY ", 0) == 0) {
        tokens.push_back("D" + l.substr(6));
      } else if (l.rfind("WRITE ", 0) == 0) {
        const Bytes b = Written(l.substr(6));
        tokens.push_back(IsHeader(b) ? "H" + std::to_string(b[hdr::kCommand])
                                     : "W" + std::to_string(b.size()));
      }
    }
    std::string out;
    for (size_t i = 0; i < tokens.size();) {
      size_t j = i + 1;
      if (tokens[i][0] == 'W')
        while (j < tokens.size() && tokens[j] == tokens[i]) ++j;
      out += (out.empty() ? "" : " ") + tokens[i];
      if (j - i > 1) out += "*" + std::to_string(j - i);
      i = j;
    }
    return out;
  }

  // One-byte reads that brought nothing: the tries of a reply wait.
  size_t EmptyTries() const {
    size_t n = 0;
    for (const std::string& r : Calls("READ"))
      if (r == "0/1") ++n;
    return n;
  }

  static uint16_t Sum(const Bytes& image, uint32_t first, uint32_t last) {
    uint32_t s = 0;
    for (uint32_t a = first; a <= last; ++a) s += a < image.size() ? image[a] : 0xFF;
    return static_cast<uint16_t>(s);
  }

  void DebugModeOn() { window_.Tick(ctl::kDebugMode, true); }

  std::filesystem::path dir_;
};

}  // namespace zvp::test
