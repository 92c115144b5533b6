#include "image/code_file_loader.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "image/code_buffer.h"
#include "image/number_text.h"
#include "link/app_state.h"
#include "ui/control_ids.h"
#include "ui/window_surface.h"

namespace zvp {

namespace {

constexpr size_t kMaxPathChars = 1023;

constexpr char kOpenFilter[] = "hex文件(*.hex)|*.hex|OBJ文件(*.*)|*.obj|BIN文件(*.*)|*.bin||";

constexpr char kTextNoFile[] = "请指定一个代码文件";
constexpr char kTextRawOpenFailed[] = "打开文件失败";
constexpr char kTextHexOpenFailed[] =
    "打开代码文件失败!请确认该文件是否存在或对该文件是否有存取权限!";
constexpr char kTextLoading[] = "调入代码文件.....";
constexpr char kTextLineChecksum[] = "代码文件错误[行检查和错误]";
constexpr char kTextNoCode[] = "代码文件错误[未包含有效代码]";
constexpr char kTextLoaded[] = "调入代码成功!";

// A HEX file is read in blocks of this size: memory stays bounded whatever
// the file holds, also a file of one endless line.
constexpr size_t kReadBlock = 64 * 1024;

// Record types.
constexpr uint8_t kTypeData = 0x00;
constexpr uint8_t kTypeDataAlt = 0x20;
constexpr uint8_t kTypeSegment = 0x02;
constexpr uint8_t kTypeLinear = 0x04;

// A record decodes to LL, two address bytes, the type, LL <= 255 data bytes
// and the checksum. Characters after those are never looked at, so only the
// first pairs of a record text are kept.
constexpr size_t kMaxRecordBytes = 4 + 255 + 1;
constexpr size_t kKeptChars = 2 * kMaxRecordBytes;
// Colon, LL, address, type and checksum: the shortest record text.
constexpr uint64_t kMinRecordChars = 11;

void Fail(const char* status) {
  AppState& app = App();
  app.link_fault = 1;
  if (app.surface != nullptr) app.surface->SetStatus(status);
}

// Only the name decides the format: ".bin" in any case is a raw image,
// everything else HEX text (also a file chosen under the dialog's BIN filter).
bool IsRawImageName(std::string_view name) {
  if (name.size() < 4) return false;
  std::string_view tail = name.substr(name.size() - 4);
  std::string lower;
  for (char c : tail) lower.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  return lower == ".bin";
}

// Opens an existing regular file for reading. The box holds UTF-8; building
// the path from a u8string makes the platform convert it (UTF-16 on Windows),
// so Chinese folder and file names open everywhere. Directories, devices and
// pipes are refused: reading them has no end or no meaning.
bool OpenExisting(const std::string& utf8_name, std::ifstream* file) {
  try {
    const std::filesystem::path path(std::u8string(utf8_name.begin(), utf8_name.end()));
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    file->open(path, std::ios::in | std::ios::binary);
    return file->is_open();
  } catch (const std::exception&) {
    // A name that does not convert (not UTF-8) names no file we could open.
    return false;
  }
}

// A raw image goes straight into the buffer with one read of at most the
// buffer's size: a longer file is cut at 1 MiB (no operation reaches past
// 0x7FFF anyway) and is never held in memory as a whole. Returns the count of
// bytes taken.
uint32_t ReadRawImage(std::ifstream& file) {
  auto& buffer = App().code_buffer;
  file.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
  return static_cast<uint32_t>(file.gcount());
}

// Per byte value: whether it is in kHexCharSet, and its digit value in
// base 16 (kNoDigit for the control characters of the set and for
// everything else).
constexpr uint8_t kNoDigit = 0xFF;
struct CharTables {
  std::array<bool, 256> in_set{};
  std::array<uint8_t, 256> digit{};
};

const CharTables& Tables() {
  static const CharTables tables = [] {
    CharTables t;
    t.digit.fill(kNoDigit);
    for (char c : kHexCharSet) {
      const auto u = static_cast<unsigned char>(c);
      t.in_set[u] = true;
      const uint32_t v = ParseNumber(std::string_view(&c, 1), 16);
      if (v != kParseFailure) t.digit[u] = static_cast<uint8_t>(v);
    }
    return t;
  }();
  return tables;
}

// Reads Intel HEX text as a stream of characters: a line is taken as a whole
// however long it is, but only the record text after its last colon is
// followed, and of that only the characters a record can use are kept.
//
// CR LF is read as LF (the way a text-mode read sees it on Windows), so a
// file reads the same on every platform.
class HexReader {
 public:
  // False when a record's checksum is wrong; reading stops there.
  bool Feed(const char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      const char c = data[i];
      if (pending_cr_) {
        pending_cr_ = false;
        if (c != '\n') Add('\r');
      }
      if (c == '\r') {
        pending_cr_ = true;
        continue;
      }
      Add(c);
      if (c == '\n' && !EndLine()) return false;
    }
    return true;
  }

  // The end of the file also ends a last line without a line end.
  bool Finish() {
    if (pending_cr_) {
      pending_cr_ = false;
      Add('\r');
    }
    return EndLine();
  }

  uint32_t extent() const { return extent_; }

 private:
  void Add(char c) {
    if (c == ':') {
      // A later colon starts the record text afresh.
      in_record_ = true;
      all_hex_ = true;
      count_ = 0;
      return;
    }
    if (!in_record_ || !all_hex_) return;
    if (!tables_.in_set[static_cast<unsigned char>(c)]) {
      all_hex_ = false;
      return;
    }
    if (count_ < kKeptChars) chars_[count_] = c;
    ++count_;
  }

  bool EndLine() {
    const bool take = in_record_ && all_hex_;
    in_record_ = false;
    return take ? TakeRecord() : true;
  }

  // Pair i after the colon, valued as ParseNumber values it in base 16; a
  // pair holding a control character is no number and reads as 0xFF. The
  // digit table (built by ParseNumber) saves a call per pair, which is most
  // of the time a large file takes.
  uint8_t Pair(size_t i) const {
    const uint8_t high = tables_.digit[static_cast<unsigned char>(chars_[2 * i])];
    const uint8_t low = tables_.digit[static_cast<unsigned char>(chars_[2 * i + 1])];
    if (high == kNoDigit || low == kNoDigit) return 0xFF;
    return static_cast<uint8_t>(high * 16 + low);
  }

  bool TakeRecord() {
    // The record text counts the colon and the line end.
    const uint64_t length = count_ + 1;
    if (length < kMinRecordChars) return true;
    const uint8_t ll = Pair(0);
    if (length < 2u * ll + kMinRecordChars) return true;

    // The length check guarantees the pairs up to the checksum; a segment
    // record may look one byte further, and a byte the line does not hold
    // reads as 0 rather than as whatever the previous line left.
    std::array<uint8_t, kMaxRecordBytes + 1> bytes{};
    const size_t pairs = std::min<uint64_t>(count_, kKeptChars) / 2;
    for (size_t i = 0; i < pairs && i < bytes.size(); ++i) bytes[i] = Pair(i);

    uint32_t sum = 0;
    for (size_t i = 0; i < ll + 5u; ++i) sum += bytes[i];
    if ((sum & 0xFF) != 0) return false;

    const uint8_t type = bytes[3];
    const uint32_t value = bytes[4] * 256u + bytes[5];
    if (type == kTypeSegment) {
      base_ = value * 16u;
    } else if (type == kTypeLinear) {
      // Without it, data meant for above 64 KiB (a second bank, EEPROM or
      // configuration images at 0x810000 and the like) would land on the
      // code at the bottom of the buffer.
      base_ = value << 16;
    } else if (type == kTypeData || type == kTypeDataAlt) {
      TakeData(bytes[1] * 256u + bytes[2], &bytes[4], ll);
    }
    return true;
  }

  // Copies a data record and moves the extent. Bytes past the end of the
  // buffer are dropped; a record wholly past it is not taken at all.
  void TakeData(uint32_t offset, const uint8_t* data, uint8_t ll) {
    const uint64_t first = uint64_t{offset} + base_;
    if (first >= kCodeBufferSize) return;
    const uint64_t end = std::min<uint64_t>(first + ll, kCodeBufferSize);
    auto& buffer = App().code_buffer;
    std::copy(data, data + (end - first), buffer.begin() + static_cast<ptrdiff_t>(first));
    // One past the highest address taken in. A record that starts below the
    // extent but reaches beyond it still raises it, so that no byte taken
    // from the file falls outside the range while the load reports success.
    // An empty record at or above the extent moves it to its own address.
    extent_ = std::max(extent_, static_cast<uint32_t>(end));
  }

  const CharTables& tables_ = Tables();
  bool pending_cr_ = false;
  bool in_record_ = false;
  bool all_hex_ = false;
  uint64_t count_ = 0;  // characters after the colon, line end included
  std::array<char, kKeptChars> chars_{};
  uint32_t base_ = 0;
  uint32_t extent_ = 0;
};

// False on a line checksum error; *extent is then meaningless.
bool ReadHexText(std::ifstream& file, uint32_t* extent) {
  HexReader reader;
  std::vector<char> block(kReadBlock);
  while (file) {
    file.read(block.data(), static_cast<std::streamsize>(block.size()));
    const auto got = static_cast<size_t>(file.gcount());
    if (got == 0) break;
    if (!reader.Feed(block.data(), got)) return false;
  }
  if (!reader.Finish()) return false;
  *extent = reader.extent();
  return true;
}

}  // namespace

void LoadCodeFile() {
  AppState& app = App();
  app.link_fault = 0;
  if (app.surface == nullptr) {
    app.link_fault = 1;
    return;
  }
  WindowSurface& surface = *app.surface;

  const std::string name = surface.GetText(ctl::kFileBox, kMaxPathChars);
  if (name.empty()) return Fail(kTextNoFile);

  uint32_t extent = 0;
  std::ifstream file;
  if (IsRawImageName(name)) {
    EraseCodeBuffer();
    if (!OpenExisting(name, &file)) return Fail(kTextRawOpenFailed);
    extent = ReadRawImage(file);
  } else {
    // A HEX file that cannot be opened leaves the buffer as it was.
    if (!OpenExisting(name, &file)) return Fail(kTextHexOpenFailed);
    surface.SetStatus(kTextLoading);
    EraseCodeBuffer();
    // Records taken before a bad one stay in the buffer; the range and the
    // boxes keep their old values.
    if (!ReadHexText(file, &extent)) return Fail(kTextLineChecksum);
  }
  file.close();

  if (extent == 0) return Fail(kTextNoCode);

  // The end address is the extent's last byte masked to 15 bits, not
  // clamped: an image of 0x8001 bytes ends at 0x0000, one of 0x9000 at 0x0FFF.
  // The user sees the end in its box and can correct it there.
  const uint32_t end = (extent - 1) & kHighestAddress;
  app.range_start = 0;
  app.range_end = end;
  surface.SetStatus(kTextLoaded);
  surface.SetText(ctl::kStartAddress, "0000");
  surface.SetText(ctl::kEndAddress, FormatNumber(end, 16, 4));
  surface.SetText(ctl::kChecksumBox, FormatNumber(BufferChecksum(0, end), 16, 4));
}

bool ChooseCodeFile() {
  WindowSurface* surface = App().surface;
  if (surface == nullptr) return false;
  const std::optional<std::string> chosen = surface->ChooseOpenFile(kOpenFilter);
  if (!chosen) return false;
  surface->SetText(ctl::kFileBox, *chosen);
  return true;
}

}  // namespace zvp
