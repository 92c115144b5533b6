#include "ui/counters.h"

#include "image/number_text.h"
#include "core/app_state.h"
#include "ui/control_ids.h"
#include "core/user_dialogs.h"
#include "core/window_controls.h"

namespace zvp {

void ClearCounters() {
  AppState& app = App();
  MessageBox box;
  box.text = "计数器将被清零!确定吗?";
  box.caption = "确 认";
  box.buttons = MsgButtons::kOkCancel;
  box.icon = MsgIcon::kQuestion;
  box.default_is_second = true;
  if (Dialogs().ShowMessage(box) != MsgAnswer::kOk) return;
  Controls().SetText(ctl::kPassBox, "00000");
  Controls().SetText(ctl::kFailBox, "00000");
  app.pass_count = 0;
  app.fail_count = 0;
}

void EditCounterSettings() {
  AppState& app = App();
  CounterDialog dialog;
  dialog.pass_text = Controls().GetText(ctl::kPassBox, 15);
  dialog.fail_text = Controls().GetText(ctl::kFailBox, 15);
  dialog.flags = app.count_flags & 0x3F;
  if (!Dialogs().RunCounterDialog(&dialog)) return;

  // A start value keeps its last six digits; an empty one is 0. The dialog's
  // boxes take digits only, so the parse cannot fail on typed input; a pasted
  // non-digit text counts as 0 rather than as the parse's failure value.
  auto accept = [&](const std::string& text, std::atomic<uint32_t>* count, int box) {
    std::string six;
    RightAlign(text.size() > 15 ? text.substr(text.size() - 15) : text, &six, 6);
    uint32_t value = ParseNumber(six, 10);
    if (value == kParseFailure) value = 0;
    *count = value;
    Controls().SetText(box, FormatNumber(value, 10, 6));
  };
  accept(dialog.pass_text, &app.pass_count, ctl::kPassBox);
  accept(dialog.fail_text, &app.fail_count, ctl::kFailBox);
  app.function_flags = (app.function_flags & ~fn::kCountingPaused) | fn::kShowCounters;
  app.count_flags = dialog.flags & 0x3F;
  Controls().SetText(ctl::kPauseCounting, "暂停计数");
  Controls().SetEnabled(ctl::kPassBox, true);
  Controls().SetEnabled(ctl::kFailBox, true);
}

void ToggleCounting() {
  AppState& app = App();
  const bool paused = ((app.function_flags ^= fn::kCountingPaused) & fn::kCountingPaused) != 0;
  Controls().SetText(ctl::kPauseCounting, paused ? "开始计数" : "暂停计数");
  Controls().SetEnabled(ctl::kPassBox, !paused);
  Controls().SetEnabled(ctl::kFailBox, !paused);
}

}  // namespace zvp
