#include "chipops/blank_check.h"

#include <string>

#include "chipops/chip_command.h"
#include "image/number_text.h"
#include "core/app_state.h"
#include "core/protocol.h"
#include "link/operation_header.h"
#include "link/serial_link.h"
#include "core/status_display.h"

namespace zvp {

namespace {
// The short set makes one try of a reply byte last at most 10 ms, so the
// silence after the first address that is not blank costs about 300 ms.
constexpr CommTimeouts kScanTimeouts{5, 5, 5, 5, 5};
}  // namespace

void BlankCheck() {
  AppState& app = App();
  StatusLine().ShowProgress({ProgressStage::kBlankCheck});
  if (!StartChipCommand(cmd::kBlankCheck, true, "芯片空检查失败! [编程器无应答]")) return;

  SetLinkTimeouts(kScanTimeouts);
  const uint32_t first = app.range_start;
  const uint32_t last = app.range_end;
  const uint32_t tracker = FollowProgress(ProgressStage::kBlankCheck, last + 1, 0);

  if (tracker > last) {
    StatusLine().SetStatus("芯片是空的, 在地址空间: " + FormatNumber(first, 16, 5) + "~~" +
                      FormatNumber(last, 16, 5));
    return;
  }
  // A link that failed during the scan is reported in the same words, at the
  // last address the programmer reached.
  app.link_fault = 1;
  StatusLine().SetStatus("芯片不空, 在地址: " + FormatNumber(tracker, 16, 5));
}

}  // namespace zvp
