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
  if (choices.chip) App().header.SetChipType(*choices.chip);
}

void ApplyChipSupply(const OperatorChoices& choices) {
  if (choices.supply) App().header.SetSupply(*choices.supply);
}

void ApplyProgrammingVoltage(const OperatorChoices& choices) {
  if (choices.vpp_from_supply) App().header.SetVppFromSupply(*choices.vpp_from_supply);
}

void ApplyVoltageChoice(const OperatorChoices& choices) {
  ApplyChipSupply(choices);
  ApplyProgrammingVoltage(choices);
}

void ApplyOptionFlags(const OperatorChoices& choices) { App().option_flags = choices.option_flags; }

void BuildOperationHeader(const OperatorChoices& choices) {
  AppState& app = App();
  OperationHeader& h = app.header;
  h.SetMarker();
  ApplyChipType(choices);
  ApplyVoltageChoice(choices);
  ApplyOptionFlags(choices);
  h.SetOptions(static_cast<uint8_t>(app.option_flags.load()));
  h.SetMagic();
  // The checksum box holds what the last programmer-memory checksum showed;
  // a text that is not hex gives the parse failure value, so 0xFF 0xFF. It
  // is read now, not taken with the choices: the connection has just
  // forgotten the sum there, the offline master has just shown its own.
  const uint32_t sum = ParseNumber(Boxes().ChecksumText(), 16);
  h.SetChecksum(static_cast<uint16_t>(sum));
  h.SetCodeBytes(&app.code_buffer[kHeaderCodeAddress]);
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
