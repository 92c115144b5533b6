#include "image/code_file_reader.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "image/code_buffer.h"
#include "image/number_text.h"

namespace zvp {

namespace {

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
// (spaces, tabs) up to the line end. Anything else in it (a foreign
// character, white space between digits, a record cut short) is damage: the
// load fails there rather than leave the record's bytes erased while
// reporting success. Lines without a colon are no records and are passed
// over. Text before the last colon is passed over too, unless it holds a
// record of its own (a colon followed by at least the digits of the
// shortest record): two records on one line would lose the first. A colon
// with fewer digits after it ("built 12:30") is no record.
//
// LF, CR LF and a lone CR each end a line: a file saved by an old editor
// with CR line ends must not read as one long line holding only its last
// record. Line numbers count every line end alike.
class HexReader {
 public:
  HexReader(std::span<uint8_t> image, Extent* extent) : image_(image), extent_(extent) {}

  // Stops at the first bad record.
  HexResult Feed(const char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      const char c = data[i];
      if (c == '\n' || c == '\r') {
        // The LF of a CR LF ends no second line.
        const bool second_half = c == '\n' && after_cr_;
        after_cr_ = c == '\r';
        if (second_half) continue;
        const HexResult r = EndLine();
        if (r != HexResult::kOk) return r;
        ++line_;
        continue;
      }
      after_cr_ = false;
      Add(c);
    }
    return HexResult::kOk;
  }

  // The end of the file also ends a last line without a line end.
  HexResult Finish() { return EndLine(); }

  // The 1-based number of the line being read (of the bad one after a
  // failure).
  uint64_t line() const { return line_; }

 private:
  static bool IsSpace(char c) { return c == ' ' || c == '\t'; }

  void Add(char c) {
    if (c == ':') {
      // A later colon starts the record text afresh; the digits after the
      // one before it may have been a record.
      if (in_record_ && count_ >= kMinRecordDigits) earlier_record_ = true;
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
    if (damaged_ || std::exchange(earlier_record_, false)) return HexResult::kFormatError;
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
    if (first >= image_.size()) return;
    const uint64_t end = std::min<uint64_t>(first + ll, image_.size());
    std::copy(data, data + (end - first), image_.begin() + static_cast<ptrdiff_t>(first));
    // One past the highest address taken in. A record that starts below the
    // extent but reaches beyond it still raises it, so that no byte taken
    // from the file falls outside the range while the load reports success.
    // An empty record at or above the extent moves it to its own address.
    extent_->end = std::max(extent_->end, static_cast<uint32_t>(end));
  }

  const std::array<uint8_t, 256>& digits_ = DigitTable();
  std::span<uint8_t> image_;
  Extent* extent_;
  bool after_cr_ = false;
  bool in_record_ = false;
  bool earlier_record_ = false;  // a record before this line's last colon
  bool damaged_ = false;
  bool trailing_space_ = false;
  uint64_t count_ = 0;  // hex digits after the colon
  std::array<char, kKeptChars> chars_{};
  uint32_t base_ = 0;
  uint64_t line_ = 1;
};

HexResult ReadHexText(std::istream& file, std::span<uint8_t> image, Extent* extent,
                      uint64_t* line) {
  HexReader reader(image, extent);
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

// A raw image: one read of at most the image's size straight into it. A
// longer file has data past the image, which counts as data past the top.
void ReadRawImage(std::istream& file, std::span<uint8_t> image, Extent* extent) {
  file.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()));
  extent->end = static_cast<uint32_t>(file.gcount());
  if (extent->end > kHighestAddress + 1) {
    extent->NoteData(kHighestAddress + 1, image.data() + kHighestAddress + 1,
                     extent->end - (kHighestAddress + 1));
  }
  if (!extent->past_top && file.peek() != std::char_traits<char>::eof()) {
    extent->past_top = image.size();
  }
}

}  // namespace

bool StartsAsHexText(std::string_view head) {
  if (head.substr(0, 3) == "\xEF\xBB\xBF") head.remove_prefix(3);
  const size_t colon = head.find_first_not_of(" \t\r\n");
  if (colon == std::string_view::npos || head[colon] != ':') return false;
  const std::string_view rest = head.substr(colon + 1);
  const auto& digits = DigitTable();
  size_t n = 0;
  while (n < rest.size() && digits[static_cast<unsigned char>(rest[n])] != kNoDigit) ++n;
  const size_t line_end = rest.find_first_not_of(" \t", n);
  if (line_end != std::string_view::npos && rest[line_end] != '\r' && rest[line_end] != '\n')
    return false;
  if (n < kMinRecordDigits || n > 2 * kMaxRecordBytes) return false;
  auto pair = [&](size_t i) {
    return static_cast<uint8_t>(digits[static_cast<unsigned char>(rest[2 * i])] * 16 +
                                digits[static_cast<unsigned char>(rest[2 * i + 1])]);
  };
  const size_t ll = pair(0);
  if (n != 2 * ll + kMinRecordDigits) return false;
  uint32_t sum = 0;
  for (size_t i = 0; i < ll + 5; ++i) sum += pair(i);
  return (sum & 0xFF) == 0;
}

CodeFileRead ReadCodeFile(std::istream& in, CodeFileFormat format, std::span<uint8_t> image) {
  using Outcome = CodeFileRead::Outcome;
  EraseCodeBuffer(image);
  CodeFileRead result;
  Extent extent;
  if (format == CodeFileFormat::kRawImage) {
    ReadRawImage(in, image, &extent);
  } else {
    switch (ReadHexText(in, image, &extent, &result.line)) {
      case HexResult::kOk:
        break;
      case HexResult::kChecksumError:
        result.outcome = Outcome::kChecksumError;
        return result;
      case HexResult::kFormatError:
        result.outcome = Outcome::kDamagedRecord;
        return result;
    }
  }
  if (extent.past_top) {
    result.outcome = Outcome::kPastTop;
    result.past_top = *extent.past_top;
    return result;
  }
  if (extent.end == 0) {
    result.outcome = Outcome::kNoCode;
    return result;
  }
  // Data reaching past kHighestAddress are all erased bytes (a padded
  // image): the range ends at the top, where they begin.
  result.outcome = Outcome::kLoaded;
  result.end = std::min(extent.end - 1, kHighestAddress);
  return result;
}

}  // namespace zvp
