#include "chipops/chip_command.h"

#include "image/number_text.h"
#include "link/app_state.h"
#include "link/operation_header.h"
#include "link/serial_link.h"
#include "ui/control_ids.h"
#include "ui/window_surface.h"

namespace zvp {

const char kConnectionErrorText[] = "编程器连接错误,编程器可能正忙,请稍候再试!";

std::string WithAddress(const std::string& text, uint32_t address) {
  return text + ",  地址: " + FormatNumber(address, 16, 5);
}

bool StartChipCommand(uint8_t command, bool reconnect) {
  AppState& app = App();
  app.header.SetRange(app.range_start, app.range_end);
  app.link_fault = 0;
  app.header.SetCommand(command);
  if (!BeginLink()) {
    if (reconnect) {
      app.link_fault = 1;
      app.failure_counts = 0;
      app.surface->ArmTimer(ctl::kReconnectTimer, 1000);
      app.surface->SetStatus(kConnectionErrorText);
    }
    return false;
  }
  uint8_t ack[16];
  AwaitReply(ack, sizeof ack, 2, 50);
  if (ack[0] == 'E') VoltageFault(ack);
  return !app.link_fault;
}

uint32_t FollowProgress(const std::string& text, uint32_t limit, uint32_t pause_ms) {
  AppState& app = App();
  uint32_t tracker = app.range_start;
  while (tracker < limit) {
    if (pause_ms) DelayMs(pause_ms);
    const uint32_t address = QueryHexTriple();
    if (app.link_fault) break;  // silent, or something that is not an address
    app.surface->SetStatus(WithAddress(text, address));
    tracker = address;
  }
  return tracker;
}

}  // namespace zvp
