#include "chipops/chip_command.h"

#include "link/address_range.h"
#include "image/number_text.h"
#include "core/app_state.h"
#include "core/protocol.h"
#include "link/connection.h"
#include "link/operation_header.h"
#include "link/serial_link.h"
#include "core/status_display.h"

namespace zvp {

bool StartChipCommand(uint8_t command, bool reconnect, const std::string& no_answer_text) {
  AppState& app = App();
  // An inverted range leaves the programmer waiting for an end it never
  // reaches; the dispatcher never starts one, and nothing sends one.
  if (app.range_start > app.range_end) {
    app.link_fault = 1;
    StatusLine().SetStatus(kRangeRejectedText);
    return false;
  }
  app.header.SetRange(app.range_start, app.range_end);
  app.link_fault = 0;
  app.header.SetCommand(command);
  if (!BeginLink()) {
    // A programmer that restarted was reached: the reaction to the reset
    // says so, not the connection error.
    if (reconnect && !app.reset_heard) ReportProgrammerLost(Reconnect::kArmTimer);
    return false;
  }
  uint8_t ack[16];
  AwaitReply(ack, sizeof ack, 2, 50);
  if (IsVoltageError(ack)) {
    VoltageFault(ack);
    return false;
  }
  if (app.link_fault) {
    StatusLine().SetStatus(no_answer_text);
    return false;
  }
  return true;
}

uint32_t FollowProgress(ProgressStage stage, uint32_t limit, uint32_t pause_ms) {
  AppState& app = App();
  uint32_t tracker = app.range_start;
  while (tracker < limit) {
    if (pause_ms) DelayMs(pause_ms);
    const uint32_t address = QueryHexTriple();
    if (app.link_fault) break;  // silent, or something that is not an address
    StatusLine().ShowProgress({stage, address});
    tracker = address;
  }
  return tracker;
}

}  // namespace zvp
