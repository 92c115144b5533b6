// libFuzzer target for the code file loader: every input is written to a
// file and loaded twice, once named .hex (read as HEX text) and once named
// .bin (a raw image). Besides the sanitizers' findings, a load that breaks
// the loader's promises aborts the run:
//   - a success must leave range 0..end with end <= 0x7FFF and the boxes
//     saying so, and nothing but erased bytes above end (no byte of the
//     file left out of what would be programmed); a failure must show one
//     of the failure texts;
//   - a raw image must land byte for byte at address 0 on an erased buffer.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "image/code_buffer.h"
#include "image/code_file_loader.h"
#include "image/number_text.h"
#include "link/app_state.h"
#include "ui/control_ids.h"
#include "ui/headless_window.h"

namespace {

namespace fs = std::filesystem;

const char kLoaded[] = "调入代码成功!";

// The inputs go to a folder of their own under TMPDIR, removed at exit.
struct Scratch {
  Scratch() {
    dir = fs::temp_directory_path() / ("zvp_loader_fuzz_" + std::to_string(getpid()));
    fs::create_directories(dir);
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  fs::path dir;
};

void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "loader broke its promise: %s\n", what);
  std::abort();
}

void Load(zvp::HeadlessWindow& window, const fs::path& path, const uint8_t* data, size_t size) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    Require(static_cast<bool>(out), "scratch file written");
  }
  zvp::AppState& app = zvp::App();
  app.range_start = 0x1111;
  app.range_end = 0x2222;
  window.SetText(zvp::ctl::kFileBox, path.string());
  zvp::LoadCodeFile();

  const std::string status = window.Status();
  if (app.link_fault == 0) {
    const uint32_t end = app.range_end;
    Require(status == kLoaded, "success text");
    Require(app.range_start == 0 && end <= zvp::kHighestAddress, "range within 0..7FFF");
    Require(window.GetText(zvp::ctl::kStartAddress, 16) == "0000", "start box");
    Require(window.GetText(zvp::ctl::kEndAddress, 16) == zvp::FormatNumber(end, 16, 4), "end box");
    Require(window.GetText(zvp::ctl::kChecksumBox, 16) ==
                zvp::FormatNumber(zvp::BufferChecksum(0, end), 16, 4),
            "checksum box");
    const auto& buffer = app.code_buffer;
    Require(std::all_of(buffer.begin() + end + 1, buffer.end(), [](uint8_t b) { return b == 0xFF; }),
            "nothing but erased bytes above the range");
  } else {
    static const std::set<std::string> kFailures = {"代码文件错误[行检查和错误]",
                                                    "代码文件错误[未包含有效代码]"};
    const auto starts = [&](const char* head) { return status.rfind(head, 0) == 0; };
    Require(kFailures.count(status) == 1 || starts("代码文件错误[第") ||
                starts("代码文件错误[代码超出编程地址范围0000~7FFF"),
            "failure text");
    Require(app.range_start == 0x1111 && app.range_end == 0x2222, "range kept on failure");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Scratch scratch;
  static zvp::HeadlessWindow window;
  zvp::App().surface = &window;

  Load(window, scratch.dir / "input.hex", data, size);
  Load(window, scratch.dir / "input.bin", data, size);

  static const std::vector<uint8_t> erased(zvp::kCodeBufferSize, 0xFF);
  const auto& buffer = zvp::App().code_buffer;
  const size_t taken = size < buffer.size() ? size : buffer.size();
  if (taken > 0) Require(std::memcmp(buffer.data(), data, taken) == 0, "raw image at address 0");
  Require(std::memcmp(buffer.data() + taken, erased.data(), buffer.size() - taken) == 0,
          "rest erased");
  if (size > 0 && zvp::App().link_fault == 0) {
    Require(zvp::App().range_end == std::min<uint32_t>(taken - 1, zvp::kHighestAddress), "raw range");
  }
  return 0;
}
