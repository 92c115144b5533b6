#include "engine/code_view.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "chipops/read_block.h"
#include "image/number_text.h"
#include "core/app_state.h"
#include "core/protocol.h"
#include "core/operation_code.h"
#include "link/operation_header.h"
#include "core/code_view_list.h"
#include "core/operation_boxes.h"
#include "core/status_display.h"

namespace zvp {

namespace {

constexpr int kRows = 16;
constexpr int kBytesPerRow = 16;
constexpr uint32_t kPageSize = 256;
constexpr uint32_t kLastPage = 0xFFF00;
// ReadBlock's callers all hand it twice a page.
constexpr uint32_t kReadBufferSize = 512;

constexpr char kBadAddressText[] = "显示地址设置错误!";
constexpr char kLoadingText[] = "调入代码......";
constexpr char kSectionText[] = "当前显示代码区段:  ";

std::string Address5(uint32_t address) {
  return FormatNumber(address, 16, 5);
}

std::string DataCell(uint8_t byte, bool ascii) {
  if (!ascii) return FormatNumber(byte, 16, 2);
  // Only printable characters other than the space: an empty cell is easier
  // to tell from a byte than a blank one.
  if (byte >= 0x21 && byte <= 0x7E) return std::string(1, static_cast<char>(byte));
  return std::string();
}

// The display-address box as a page candidate (code 31), or nothing when the
// text is no address. The box is right-aligned to its last five characters;
// taking the tail first keeps that true for texts of any length.
bool AddressFromBox(uint32_t* candidate) {
  const std::string text = Boxes().ViewAddressText();
  const std::string_view tail =
      text.size() > 5 ? std::string_view(text).substr(text.size() - 5) : std::string_view(text);
  std::string aligned;
  if (!RightAlign(tail, &aligned, 5) || !IsAllFrom(aligned, kHexCharSet)) return false;
  // A control character passes the text check but is no digit: the parse
  // fails with 0xFFFFFFFF, which the clamp below turns into page 0.
  const uint32_t value = ParseNumber(aligned, 16);
  App().view_address = value;
  Boxes().ShowViewAddress(FormatNumber(value, 16, 5));
  *candidate = value;
  return true;
}

}  // namespace

Outcome RefreshCodeView(uint8_t code) {
  AppState& app = App();

  uint32_t candidate = app.view_address;
  switch (code) {
    case OpViewSetAddress:
      if (!AddressFromBox(&candidate)) {
        app.link_fault = 1;
        StatusLine().SetStatus(kBadAddressText);
        return Outcome::kFailed;
      }
      break;
    case OpViewPrevPage:
      candidate = app.view_address - kPageSize;
      break;
    case OpViewNextPage:
      candidate = app.view_address + kPageSize;
      break;
    default:
      break;
  }
  // Signed: stepping back from the first page, and a failed parse, land on
  // page 0.
  const int32_t signed_candidate = static_cast<int32_t>(candidate);
  if (signed_candidate <= 0) {
    candidate = 0;
  } else if (candidate >= kLastPage) {
    candidate = kLastPage;
  }
  const uint32_t page = candidate & ~0xFu;
  app.view_address = page;

  for (int row = 0; row < kRows; ++row)
    ViewList().SetListCell(row, 0, Address5(page + static_cast<uint32_t>(row * kBytesPerRow)));

  // The modes are the controls themselves; they are locked while this runs.
  const bool chip = Boxes().ViewShowsChip();
  const bool ascii = Boxes().ViewShowsAscii();

  StatusLine().SetStatus(kLoadingText);
  // Erased-looking bytes rather than the previous page's where a failed read
  // leaves the buffer short: the page then shows nothing that belongs to a
  // different address.
  std::array<uint8_t, kReadBufferSize> bytes;
  bytes.fill(0xFF);
  if (!chip && DebugMode()) {
    for (uint32_t i = 0; i < kPageSize; ++i) bytes[i] = app.code_buffer[page + i];
  } else {
    // A failed read has set link_fault and its own text; the page is shown
    // anyway, erased where nothing came.
    ReadBlock(chip ? cmd::kReadChip : cmd::kReadMemory, bytes.data(), kReadBufferSize, page,
              page + kPageSize - 1);
  }

  for (int row = 0; row < kRows; ++row)
    for (int column = 1; column <= kBytesPerRow; ++column)
      ViewList().SetListCell(row, column, DataCell(bytes[row * kBytesPerRow + column - 1], ascii));

  // After a failed read its own text stays: the page shows no real data.
  if (!app.link_fault) {
    StatusLine().SetStatus(kSectionText + Address5(page) + "~" + Address5(page + kPageSize - 1));
  }
  Boxes().ShowViewAddress(Address5(page));
  return app.link_fault ? Outcome::kFailed : Outcome::kDone;
}

}  // namespace zvp
