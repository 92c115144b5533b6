#include "ui/start_up.h"

#include "image/code_buffer.h"
#include "link/app_state.h"
#include "ui/control_ids.h"
#include "ui/settings.h"
#include "ui/window_surface.h"

namespace zvp {

void InitialiseMainWindow() {
  AppState& app = App();
  WindowSurface& s = *app.surface;
  s.SetText(ctl::kPassBox, "00000");
  s.SetText(ctl::kFailBox, "00000");
  s.SetChecked(ctl::kDebugMode, false);
  for (Flag* f : {&app.memory_edited, &app.programmer_found, &app.memory_loaded, &app.port_chosen,
                  &app.link_fault, &app.label_pressed, &app.view_ready, &app.user_abort})
    f->store(0);
  for (int id : {ctl::kViewGroup, ctl::kViewList, ctl::kBack}) s.SetVisible(id, false);
  EraseCodeBuffer();
  s.ArmTimer(ctl::kResetPollTimer, 1000);
  LoadSettings();
  s.SetText(ctl::kStartAddress, "0000");
  s.SetText(ctl::kEndAddress, "1FFF");
  s.SetEnabled(ctl::kVddBox, false);
  s.SetEnabled(ctl::kVppBox, false);
  app.fail_count = 0;
  app.pass_count = 0;
  app.checksum_start = 0;
  app.checksum_end = 0x1FFF;
}

}  // namespace zvp
