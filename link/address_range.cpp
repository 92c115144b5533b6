#include "link/address_range.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "image/number_text.h"
#include "core/app_state.h"
#include "core/operation_boxes.h"

namespace zvp {

const char kRangeRejectedText[] = "编程地址设置错误!请输入0000~7FFF之间的十六进制地址";

namespace {

constexpr size_t kAddressDigits = 4;

// Reads one address box as four hex characters: an empty box is filled with
// "0000", and only the last four characters count (so "12345" is 2345).
// False when one of those characters is not in kHexCharSet.
bool ReadAddressBox(RangeBox box, std::string* digits) {
  std::string text = Boxes().AddressText(box);
  if (text.empty()) {
    text = "0000";
    Boxes().ShowAddress(box, text);
  }
  // RightAlign refuses texts over 40 characters and the box may hold more;
  // taking the tail first keeps the last-four rule for every length.
  std::string_view tail(text);
  if (tail.size() > kAddressDigits) tail.remove_prefix(tail.size() - kAddressDigits);
  RightAlign(tail, digits, kAddressDigits);
  return IsAllFrom(*digits, kHexCharSet);
}

}  // namespace

int ReadAddressRange() {
  AppState& app = App();
  const std::string highest = FormatNumber(kHighestAddress, 16, 4);

  // Both boxes are checked before either field changes: a start stored
  // beside a stale end could make an inverted range.
  std::string start_digits, end_digits;
  if (!ReadAddressBox(RangeBox::kStart, &start_digits)) return -1;
  if (!ReadAddressBox(RangeBox::kEnd, &end_digits)) return -1;

  // A control character passes the set check but not ParseNumber; its
  // failure value is clamped like any other too-high address.
  uint32_t start = ParseNumber(start_digits, 16);
  if (start >= kHighestAddress) {
    start = kHighestAddress;
    Boxes().ShowAddress(RangeBox::kStart, highest);
  }
  uint32_t end = ParseNumber(end_digits, 16);
  if (end > kHighestAddress) {
    end = kHighestAddress;
    Boxes().ShowAddress(RangeBox::kEnd, highest);
  }
  if (start >= end) {
    end = start;
    Boxes().ShowAddress(RangeBox::kEnd, FormatNumber(end, 16, 4));
  }
  app.range_start = start;
  app.range_end = end;
  return 0;
}

}  // namespace zvp
