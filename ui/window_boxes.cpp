#include "ui/window_boxes.h"

#include <cstddef>

#include "ui/control_ids.h"

namespace zvp {

namespace {

// How much of each box is read: the header takes the sum from at most 9
// characters, the range's boxes count only their last four, a path is at
// most this long.
constexpr size_t kChecksumChars = 9;
constexpr size_t kAddressChars = 127;
constexpr size_t kPathChars = 1023;
constexpr size_t kViewAddressChars = 100;

int AddressBox(RangeBox box) { return box == RangeBox::kStart ? ctl::kStartAddress : ctl::kEndAddress; }

}  // namespace

std::string WindowBoxes::ChecksumText() { return window_.GetText(ctl::kChecksumBox, kChecksumChars); }

void WindowBoxes::ShowChecksum(const std::string& text) { window_.SetText(ctl::kChecksumBox, text); }

std::string WindowBoxes::AddressText(RangeBox box) { return window_.GetText(AddressBox(box), kAddressChars); }

void WindowBoxes::ShowAddress(RangeBox box, const std::string& text) {
  window_.SetText(AddressBox(box), text);
}

std::string WindowBoxes::FileName() { return window_.GetText(ctl::kFileBox, kPathChars); }

void WindowBoxes::ShowFileName(const std::string& path) { window_.SetText(ctl::kFileBox, path); }

void WindowBoxes::ShowPassCount(const std::string& text) { window_.SetText(ctl::kPassBox, text); }

void WindowBoxes::ShowFailCount(const std::string& text) { window_.SetText(ctl::kFailBox, text); }

std::string WindowBoxes::ViewAddressText() { return window_.GetText(ctl::kViewAddress, kViewAddressChars); }

void WindowBoxes::ShowViewAddress(const std::string& text) { window_.SetText(ctl::kViewAddress, text); }

bool WindowBoxes::ViewShowsChip() { return window_.IsChecked(ctl::kViewChip); }

bool WindowBoxes::ViewShowsAscii() { return window_.IsChecked(ctl::kViewAscii); }

bool WindowBoxes::DebugModeTicked() { return window_.IsChecked(ctl::kDebugMode); }

void WindowBoxes::ArmReconnectTimer(uint32_t period_ms) { window_.ArmTimer(ctl::kReconnectTimer, period_ms); }

}  // namespace zvp
