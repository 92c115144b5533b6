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
// A record that a character outside the hex digits or a cut broke: the
// line number tells the user where to look.
constexpr char kTextLineFormatHead[] = "代码文件错误[第";
constexpr char kTextLineFormatTail[] = "行记录格式错误]";
// Data above the highest address an operation reaches: refused, because a
// chip programmed from the part that fits would miss the rest.
constexpr char kTextPastTopHead[] = "代码文件错误[代码超出编程地址范围0000~7FFF, 在地址: ";
constexpr char kTextPastTopTail[] = "]";
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
// LL, address, type and checksum: the digits of the shortest record.
constexpr uint64_t kMinRecordDigits = 10;

void Fail(const std::string& status) {
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

// Per byte value: its digit value in base 16, or kNoDigit.
constexpr uint8_t kNoDigit = 0xFF;

const std::array<uint8_t, 256>& DigitTable() {
  static const std::array<uint8_t, 256> table = [] {
    std::array<uint8_t, 256> t{};
    t.fill(kNoDigit);
    for (char c : std::string_view("0123456789ABCDEFabcdef")) {
      t[static_cast<unsigned char>(c)] =
          static_cast<uint8_t>(ParseNumber(std::string_view(&c, 1), 16));
    }
    return t;
  }();
  return table;
}

// Where the file's data reach: one past the highest address taken in by the
// extent rule, and the first address above kHighestAddress that holds
// anything but the erased value (data that no operation would program).
struct Extent {
  uint32_t end = 0;
  std::optional<uint64_t> past_top;

  void NoteData(uint64_t address, const uint8_t* data, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      const uint64_t a = address + i;
      if (a > kHighestAddress && data[i] != 0xFF && (!past_top || a < *past_top)) past_top = a;
    }
  }
};

enum class HexResult { kOk, kChecksumError, kFormatError };

// Reads Intel HEX text as a stream of characters: a line is taken as a whole
// however long it is, but only the record text after its last colon is
// followed, and of that only the characters a record can use are kept.
//
// A record text is the hex digits after the colon, then at most white space
// (spaces, tabs, a CR) up to the line end. Anything else in it (a foreign
// character, white space between digits, a record cut short) is damage: the
// load fails there rather than leave the record's bytes erased while
// reporting success. Lines without a colon are no records and are passed
// over.
//
// CR LF is read as LF (the way a text-mode read sees it on Windows), so a
// file reads the same on every platform.
class HexReader {
 public:
  explicit HexReader(Extent* extent) : extent_(extent) {}

  // Stops at the first bad record.
  HexResult Feed(const char* data, size_t size) {
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
      if (c == '\n') {
        const HexResult r = EndLine();
        if (r != HexResult::kOk) return r;
        ++line_;
        continue;
      }
      Add(c);
    }
    return HexResult::kOk;
  }

  // The end of the file also ends a last line without a line end.
  HexResult Finish() {
    if (pending_cr_) {
      pending_cr_ = false;
      Add('\r');
    }
    return EndLine();
  }

  // The 1-based number of the line being read (of the bad one after a
  // failure).
  uint64_t line() const { return line_; }

 private:
  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

  void Add(char c) {
    if (c == ':') {
      // A later colon starts the record text afresh.
      in_record_ = true;
      damaged_ = false;
      trailing_space_ = false;
      count_ = 0;
      return;
    }
    if (!in_record_ || damaged_) return;
    if (IsSpace(c)) {
      trailing_space_ = true;
      return;
    }
    if (trailing_space_ || digits_[static_cast<unsigned char>(c)] == kNoDigit) {
      damaged_ = true;
      return;
    }
    if (count_ < kKeptChars) chars_[count_] = c;
    ++count_;
  }

  HexResult EndLine() {
    const bool record = in_record_;
    in_record_ = false;
    if (!record) return HexResult::kOk;
    if (damaged_) return HexResult::kFormatError;
    return TakeRecord();
  }

  uint8_t Pair(size_t i) const {
    return static_cast<uint8_t>(digits_[static_cast<unsigned char>(chars_[2 * i])] * 16 +
                                digits_[static_cast<unsigned char>(chars_[2 * i + 1])]);
  }

  HexResult TakeRecord() {
    // A record cut short (fewer digits than its length byte promises) lost
    // data: damage, like a foreign character. Digits after the checksum are
    // never looked at.
    if (count_ < kMinRecordDigits) return HexResult::kFormatError;
    const uint8_t ll = Pair(0);
    if (count_ < 2u * ll + kMinRecordDigits) return HexResult::kFormatError;

    // The length check guarantees the pairs up to the checksum; a segment
    // record may look one byte further, and a byte the line does not hold
    // reads as 0 rather than as whatever the previous line left.
    std::array<uint8_t, kMaxRecordBytes + 1> bytes{};
    const size_t pairs = std::min<uint64_t>(count_, kKeptChars) / 2;
    for (size_t i = 0; i < pairs && i < bytes.size(); ++i) bytes[i] = Pair(i);

    uint32_t sum = 0;
    for (size_t i = 0; i < ll + 5u; ++i) sum += bytes[i];
    if ((sum & 0xFF) != 0) return HexResult::kChecksumError;

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
    return HexResult::kOk;
  }

  // Copies a data record and moves the extent. Bytes past the end of the
  // buffer are dropped (but still counted as data past the top).
  void TakeData(uint32_t offset, const uint8_t* data, uint8_t ll) {
    const uint64_t first = uint64_t{offset} + base_;
    extent_->NoteData(first, data, ll);
    if (first >= kCodeBufferSize) return;
    const uint64_t end = std::min<uint64_t>(first + ll, kCodeBufferSize);
    auto& buffer = App().code_buffer;
    std::copy(data, data + (end - first), buffer.begin() + static_cast<ptrdiff_t>(first));
    // One past the highest address taken in. A record that starts below the
    // extent but reaches beyond it still raises it, so that no byte taken
    // from the file falls outside the range while the load reports success.
    // An empty record at or above the extent moves it to its own address.
    extent_->end = std::max(extent_->end, static_cast<uint32_t>(end));
  }

  const std::array<uint8_t, 256>& digits_ = DigitTable();
  Extent* extent_;
  bool pending_cr_ = false;
  bool in_record_ = false;
  bool damaged_ = false;
  bool trailing_space_ = false;
  uint64_t count_ = 0;  // hex digits after the colon
  std::array<char, kKeptChars> chars_{};
  uint32_t base_ = 0;
  uint64_t line_ = 1;
};

HexResult ReadHexText(std::ifstream& file, Extent* extent, uint64_t* line) {
  HexReader reader(extent);
  std::vector<char> block(kReadBlock);
  HexResult result = HexResult::kOk;
  while (file && result == HexResult::kOk) {
    file.read(block.data(), static_cast<std::streamsize>(block.size()));
    const auto got = static_cast<size_t>(file.gcount());
    if (got == 0) break;
    result = reader.Feed(block.data(), got);
  }
  if (result == HexResult::kOk) result = reader.Finish();
  *line = reader.line();
  return result;
}

// A raw image: one read of at most the buffer's size straight into it. A
// longer file has data past the buffer, which counts as data past the top.
void ReadRawImage(std::ifstream& file, Extent* extent) {
  auto& buffer = App().code_buffer;
  file.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
  extent->end = static_cast<uint32_t>(file.gcount());
  if (extent->end > kHighestAddress + 1) {
    extent->NoteData(kHighestAddress + 1, buffer.data() + kHighestAddress + 1,
                     extent->end - (kHighestAddress + 1));
  }
  if (!extent->past_top && file.peek() != std::char_traits<char>::eof()) {
    extent->past_top = kCodeBufferSize;
  }
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

  Extent extent;
  std::ifstream file;
  if (IsRawImageName(name)) {
    EraseCodeBuffer();
    if (!OpenExisting(name, &file)) return Fail(kTextRawOpenFailed);
    ReadRawImage(file, &extent);
  } else {
    // A HEX file that cannot be opened leaves the buffer as it was.
    if (!OpenExisting(name, &file)) return Fail(kTextHexOpenFailed);
    surface.SetStatus(kTextLoading);
    EraseCodeBuffer();
    // Records taken before a bad one stay in the buffer; the range and the
    // boxes keep their old values.
    uint64_t line = 0;
    switch (ReadHexText(file, &extent, &line)) {
      case HexResult::kOk:
        break;
      case HexResult::kChecksumError:
        return Fail(kTextLineChecksum);
      case HexResult::kFormatError:
        return Fail(std::string(kTextLineFormatHead) + std::to_string(line) +
                    kTextLineFormatTail);
    }
  }
  file.close();

  if (extent.past_top) {
    const uint64_t at = std::min<uint64_t>(*extent.past_top, 0xFFFFFFFF);
    return Fail(kTextPastTopHead + FormatNumber(static_cast<uint32_t>(at), 16, 5) +
                kTextPastTopTail);
  }
  if (extent.end == 0) return Fail(kTextNoCode);

  // Data reaching past kHighestAddress are all erased bytes (a padded
  // image): the range ends at the top, where they begin.
  const uint32_t end = std::min(extent.end - 1, kHighestAddress);
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
