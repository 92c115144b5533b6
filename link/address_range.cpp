#include "link/address_range.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "image/number_text.h"
#include "core/app_state.h"
#include "core/control_ids.h"
#include "core/window_controls.h"

namespace zvp {

const char kRangeRejectedText[] = "编程地址设置错误!请输入0000~7FFF之间的十六进制地址";

namespace {

constexpr size_t kMaxBoxChars = 127;
constexpr size_t kAddressDigits = 4;

// Reads one address box as four hex characters: an empty box is filled with
// "0000", and only the last four characters count (so "12345" is 2345).
// False when one of those characters is not in kHexCharSet.
bool ReadAddressBox(int id, std::string* digits) {
  std::string text = Controls().GetText(id, kMaxBoxChars);
  if (text.empty()) {
    text = "0000";
    Controls().SetText(id, text);
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
  if (!ReadAddressBox(ctl::kStartAddress, &start_digits)) return -1;
  if (!ReadAddressBox(ctl::kEndAddress, &end_digits)) return -1;

  // A control character passes the set check but not ParseNumber; its
  // failure value is clamped like any other too-high address.
  uint32_t start = ParseNumber(start_digits, 16);
  if (start >= kHighestAddress) {
    start = kHighestAddress;
    Controls().SetText(ctl::kStartAddress, highest);
  }
  uint32_t end = ParseNumber(end_digits, 16);
  if (end > kHighestAddress) {
    end = kHighestAddress;
    Controls().SetText(ctl::kEndAddress, highest);
  }
  if (start >= end) {
    end = start;
    Controls().SetText(ctl::kEndAddress, FormatNumber(end, 16, 4));
  }
  app.range_start = start;
  app.range_end = end;
  return 0;
}

}  // namespace zvp
