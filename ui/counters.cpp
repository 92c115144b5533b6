#include "ui/counters.h"

#include "link/app_state.h"
#include "ui/control_ids.h"
#include "ui/window_surface.h"

namespace zvp {

void ClearCounters() {
  AppState& app = App();
  WindowSurface& s = *app.surface;
  MessageBox box;
  box.text = "计数器将被清零!确定吗?";
  box.caption = "确 认";
  box.buttons = MsgButtons::kOkCancel;
  box.icon = MsgIcon::kQuestion;
  box.default_is_second = true;
  if (s.ShowMessage(box) != MsgAnswer::kOk) return;
  s.SetText(ctl::kPassBox, "00000");
  s.SetText(ctl::kFailBox, "00000");
  app.pass_count = 0;
  app.fail_count = 0;
}

void ToggleCounting() {
  AppState& app = App();
  WindowSurface& s = *app.surface;
  const bool paused = ((app.function_flags ^= fn::kCountingPaused) & fn::kCountingPaused) != 0;
  s.SetText(ctl::kPauseCounting, paused ? "开始计数" : "暂停计数");
  s.SetEnabled(ctl::kPassBox, !paused);
  s.SetEnabled(ctl::kFailBox, !paused);
}

}  // namespace zvp
