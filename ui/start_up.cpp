#include "ui/start_up.h"

#include "image/code_buffer.h"
#include "core/app_state.h"
#include "ui/control_ids.h"
#include "ui/port_choice.h"
#include "ui/settings.h"
#include "core/window_controls.h"
#include "core/window_frame.h"

namespace zvp {

void InitialiseMainWindow() {
  AppState& app = App();
  Controls().SetText(ctl::kPassBox, "00000");
  Controls().SetText(ctl::kFailBox, "00000");
  Controls().SetChecked(ctl::kDebugMode, false);
  for (std::atomic<bool>* f : {&app.memory_edited, &app.programmer_found, &app.memory_loaded, &app.port_chosen,
                  &app.link_fault, &app.label_pressed, &app.view_ready, &app.user_abort})
    f->store(false);
  for (int id : {ctl::kViewGroup, ctl::kViewList, ctl::kBack}) Controls().SetVisible(id, false);
  // No port beyond the four buttons is in use until the settings say so.
  SetOtherPort(0);
  EraseCodeBuffer(app.code_buffer);
  Frame().ArmTimer(ctl::kResetPollTimer, 1000);
  LoadSettings();
  Controls().SetText(ctl::kStartAddress, "0000");
  Controls().SetText(ctl::kEndAddress, "1FFF");
  Controls().SetEnabled(ctl::kVddBox, false);
  Controls().SetEnabled(ctl::kVppBox, false);
  app.fail_count = 0;
  app.pass_count = 0;
  app.checksum_start = 0;
  app.checksum_end = 0x1FFF;
}

}  // namespace zvp
