#include "ui/code_edit.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "image/number_text.h"
#include "core/app_state.h"
#include "ui/control_ids.h"
#include "core/code_view_list.h"
#include "core/user_dialogs.h"
#include "core/window_controls.h"

namespace zvp {

namespace {

constexpr int kRows = 16;
constexpr int kLastByteColumn = 16;

// The caption of a box that has no title of its own: the program's name.
constexpr char kAppName[] = "ZVP";
constexpr char kRefusedCaption[] = "错误操作";
constexpr char kChipViewText[] = "不能改变芯片代码数据!";
constexpr char kAsciiModeText[] = "不能在ASCII码方式改变代码!";
constexpr char kBadInputText[] = "代码输入错误!";

void Warn(const char* text, const char* caption) {
  MessageBox box;
  box.text = text;
  box.caption = caption;
  box.icon = MsgIcon::kWarning;
  Dialogs().ShowMessage(box);
}

// The value box shows what it takes in capitals; a value that reaches us
// some other way is shown the same.
std::string UpperHex(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

}  // namespace

void EditCodeByte(int row, int column) {
  AppState& app = App();
  if (app.busy) return;
  app.link_fault = 0;
  // The address column and clicks beside the rows open nothing.
  if (row < 0 || row >= kRows || column < 1 || column > kLastByteColumn) return;

  if (Controls().IsChecked(ctl::kViewChip)) {
    Warn(kChipViewText, kRefusedCaption);
    return;
  }
  if (Controls().IsChecked(ctl::kViewAscii)) {
    Warn(kAsciiModeText, kRefusedCaption);
    return;
  }

  // The row's address with its last digit (always 0) replaced by the column.
  std::string address_text = ViewList().ListCell(row, 0);
  if (address_text.empty()) return;  // no page shown yet
  address_text.back() = FormatNumber(static_cast<uint32_t>(column - 1), 16, 1)[0];
  const uint32_t address = ParseNumber(address_text, 16);
  // Only the view writes the address cells; anything else is no byte of the
  // buffer, and a store there would land outside it.
  if (address >= kCodeBufferSize) return;

  const std::optional<std::string> typed =
      Dialogs().RunEditDialog(address_text, ViewList().ListCell(row, column));
  if (!typed) return;
  if (!IsAllFrom(*typed, kHexCharSet)) {
    Warn(kBadInputText, kAppName);
    return;
  }
  // The last two characters count, whatever the length of the text.
  const std::string_view tail =
      typed->size() > 2 ? std::string_view(*typed).substr(typed->size() - 2) : *typed;
  std::string value;
  RightAlign(tail, &value, 2);
  value = UpperHex(value);
  ViewList().SetListCell(row, column, value);
  // A control character passes the check but is no digit: the failed parse
  // (0xFFFFFFFF) stores 0xFF.
  app.code_buffer[address] = static_cast<uint8_t>(ParseNumber(value, 16) & 0xFF);
}

}  // namespace zvp
