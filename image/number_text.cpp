#include "image/number_text.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace zvp {

// The control characters are in the set because texts taken from the wire or
// from a file may carry a line end or a stray tab; they pass the text check
// but are still no digits, so ParseNumber rejects them.
const std::string_view kHexCharSet("0123456789ABCDEFabcdef\a\n\r\t", 26);

namespace {

bool IsSupportedBase(uint32_t base) {
  return base == 2 || base == 10 || base == 16;
}

// Digit value of `c` in `base`, or -1 when `c` is no digit of it.
int DigitValue(char c, uint32_t base) {
  int d = -1;
  if (c >= '0' && c <= '9') {
    d = c - '0';
  } else if (c >= 'a' && c <= 'f') {
    d = c - 'a' + 10;
  } else if (c >= 'A' && c <= 'F') {
    d = c - 'A' + 10;
  }
  return d >= 0 && static_cast<uint32_t>(d) < base ? d : -1;
}

// 32 binary digits are the most any value needs.
constexpr size_t kMaxDigits = 32;

}  // namespace

uint32_t ParseNumber(std::string_view text, uint32_t base) {
  if (!IsSupportedBase(base)) return kParseFailure;
  // From the last character to the first, so that a long text wraps the same
  // way the value would in 32-bit arithmetic.
  uint32_t value = 0;
  uint32_t multiplier = 1;
  for (auto it = text.rbegin(); it != text.rend(); ++it) {
    const int digit = DigitValue(*it, base);
    if (digit < 0) return kParseFailure;
    value += static_cast<uint32_t>(digit) * multiplier;
    multiplier *= base;
  }
  return value;
}

bool FormatNumber(uint32_t value, char* out, size_t capacity, uint32_t base, uint32_t width) {
  if (out == nullptr) return false;
  std::memset(out, 0, capacity);
  if (!IsSupportedBase(base)) return false;

  // Digits least significant first; the value 0 has none of its own and gets
  // its "0" from the padding below.
  std::array<char, kMaxDigits> digits{};
  size_t count = 0;
  for (uint32_t v = value; v != 0; v /= base) {
    digits[count++] = "0123456789ABCDEF"[v % base];
  }

  size_t zeros = 0;
  if (width == 255) {
    if (count == 0) zeros = 1;
  } else if (width > count) {
    zeros = width - count;
  }
  // The padding counts against the capacity as well: a width wider than the
  // area must not write past it.
  if (count + zeros > capacity) return false;

  std::memset(out, '0', zeros);
  for (size_t i = 0; i < count; ++i) out[zeros + i] = digits[count - 1 - i];
  return true;
}

std::string FormatNumber(uint32_t value, uint32_t base, uint32_t width) {
  std::array<char, 512> area{};
  if (!FormatNumber(value, area.data(), area.size(), base, width)) return std::string();
  const auto end = std::find(area.begin(), area.end(), '\0');
  return std::string(area.begin(), end);
}

bool IsAllFrom(std::string_view text, std::string_view set) {
  for (char c : text) {
    if (set.find(c) == std::string_view::npos) return false;
  }
  return true;
}

bool RightAlign(std::string_view text, std::string* out, size_t width) {
  out->clear();
  if (text.size() > 40) return false;
  if (text.size() >= width) {
    out->assign(text.substr(text.size() - width));
  } else {
    out->assign(width - text.size(), '0');
    out->append(text);
  }
  return true;
}

}  // namespace zvp
