// Number texts: hexadecimal, decimal and binary text to numbers and back.
// Stateless; callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zvp {

// The characters accepted as hexadecimal text: the 22 digits of both cases
// and the control characters BEL, LF, CR and TAB (26 in all). The control
// characters pass a text check but are not digits for ParseNumber.
extern const std::string_view kHexCharSet;

constexpr uint32_t kParseFailure = 0xFFFFFFFF;

// Value of `text` in base 2, 10 or 16 (hex digits of either case), unsigned
// 32-bit with wrap-around; kParseFailure when a character is not a digit of
// the base (and for any base other than 2, 10 or 16). An empty text is 0.
uint32_t ParseNumber(std::string_view text, uint32_t base);

// Writes the digits of `value` into out[0..capacity), zero-filled first, with
// '0's in front up to `width` (255: no padding; the value 0 then gives "0",
// and with width 0 it gives ""). Hex digits are upper case. False when the
// base is not 2, 10 or 16 or the digits with their leading zeros do not fit
// the capacity; the area is then left all zero. The text is zero-terminated
// only when it is shorter than the capacity.
bool FormatNumber(uint32_t value, char* out, size_t capacity, uint32_t base, uint32_t width);

// Convenience form for callers that want a string ("" on failure).
std::string FormatNumber(uint32_t value, uint32_t base, uint32_t width);

// True when every character of `text` occurs in `set` (an empty text: true).
bool IsAllFrom(std::string_view text, std::string_view set);

// The last `width` characters of width '0's followed by `text`: short texts
// get leading zeros, long ones keep their tail. *out is cleared first; false
// (and *out empty) when the text is longer than 40 characters.
bool RightAlign(std::string_view text, std::string* out, size_t width);

}  // namespace zvp
