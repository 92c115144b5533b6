#include "link/operation_header.h"

#include <cstring>
#include <string>

#include "image/number_text.h"
#include "core/app_state.h"
#include "link/serial_link.h"
#include "core/operation_boxes.h"
#include "core/status_display.h"
#include "core/user_dialogs.h"

namespace zvp {

bool DebugMode() { return Boxes().DebugModeTicked(); }

void ApplyChipType(const OperatorChoices& choices) {
  if (choices.chip != ChipChoice::kNone) App().header[4] = static_cast<uint8_t>(choices.chip);
}

void ApplyChipSupply(const OperatorChoices& choices) {
  if (choices.supply != SupplyChoice::kNone) App().header[11] = static_cast<uint8_t>(choices.supply);
}

void ApplyProgrammingVoltage(const OperatorChoices& choices) {
  OperationHeader& h = App().header;
  if (choices.vpp == VppChoice::k12V) h[11] &= 0x7F;
  if (choices.vpp == VppChoice::kVcc) h[11] |= 0x80;
}

void ApplyVoltageChoice(const OperatorChoices& choices) {
  ApplyChipSupply(choices);
  ApplyProgrammingVoltage(choices);
}

void ApplyOptionFlags(const OperatorChoices& choices) { App().option_flags = choices.option_flags; }

void BuildOperationHeader(const OperatorChoices& choices) {
  AppState& app = App();
  OperationHeader& h = app.header;
  h[10] = 1;
  ApplyChipType(choices);
  ApplyVoltageChoice(choices);
  ApplyOptionFlags(choices);
  h[5] = static_cast<uint8_t>(app.option_flags.load());
  h[0] = 'S';
  h[1] = 'T';
  h[2] = 'A';
  h[3] = 'R';
  // The checksum box holds what the last programmer-memory checksum showed;
  // a text that is not hex gives the parse failure value, so 0xFF 0xFF. It
  // is read now, not taken with the choices: the connection has just
  // forgotten the sum there, the offline master has just shown its own.
  const uint32_t sum = ParseNumber(Boxes().ChecksumText(), 16);
  h[8] = static_cast<uint8_t>(sum >> 8);
  h[9] = static_cast<uint8_t>(sum);
  for (int i = 0; i < 4; ++i) h[12 + i] = app.code_buffer[0x3C + i];
}

uint16_t QueryWord() {
  uint8_t reply[8];
  AwaitReply(reply, sizeof reply, 2, 30);
  if (App().link_fault) return 0;
  return static_cast<uint16_t>(reply[0] * 256 + reply[1]);
}

uint32_t QueryHexTriple() {
  AppState& app = App();
  uint8_t reply[8];
  AwaitReply(reply, sizeof reply, 3, 30);
  if (app.link_fault) return 0;
  // The reply is checked as text up to its first zero byte: an answer such as
  // "NO" is not an address. A reply whose first byte is 0 is not checked.
  const size_t text_len = strnlen(reinterpret_cast<const char*>(reply), 3);
  const std::string_view text(reinterpret_cast<const char*>(reply), text_len);
  if (!IsAllFrom(text, kHexCharSet)) {
    app.link_fault = 1;
    return 0;
  }
  return (static_cast<uint32_t>(reply[0]) << 16) | (static_cast<uint32_t>(reply[1]) << 8) |
         reply[2];
}

void VoltageFault(const uint8_t* reply) {
  AppState& app = App();
  app.link_fault = 1;
  if (app.function_flags & fn::kBuzzer) {
    Dialogs().Beep(1000, 100);
    DelayMs(100);
    Dialogs().Beep(1000, 100);
    DelayMs(100);
    Dialogs().Beep(1000, 100);
  }
  std::string text;
  switch (reply[1]) {
    case '1':
      text = "检测到Vdd输出电压过低!";
      break;
    case '2':
      text = "检测到Vdd输出电压过高!";
      break;
    case '3':
      text = "检测到Vpp输出电压过低!";
      break;
    case '4':
      text = "检测到Vpp输出电压过高!";
      break;
    default:
      text = "检测到未知错误!";
      break;
  }
  text += "编程操作将被异常中止!";
  MessageBox box;
  box.caption = "警  告";
  box.text = text;
  box.icon = MsgIcon::kWarning;
  Dialogs().ShowMessage(box);
  StatusLine().SetStatus("编程电压错误,编程失败");
}

}  // namespace zvp
