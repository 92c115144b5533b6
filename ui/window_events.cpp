#include "ui/window_events.h"

#include "core/app_state.h"
#include "link/connection.h"
#include "engine/engine.h"
#include "core/status_display.h"
#include "core/user_dialogs.h"
#include "ui/window_choices.h"

namespace zvp {

namespace {
constexpr int kVkF5 = 0x74;
constexpr int kVkF7 = 0x76;
}  // namespace

bool StatusShowsFault() { return App().link_fault != 0; }
bool CursorIsWait() { return App().busy != 0; }

void OnLinkPressed() { App().label_pressed = 1; }

bool OnLinkReleased() {
  AppState& app = App();
  if (!app.label_pressed) return false;
  app.label_pressed = 0;
  return true;
}

void OnAbortRequested() { App().user_abort = 1; }

CloseAnswer OnCloseRequested() {
  AppState& app = App();
  if (!app.busy) return CloseAnswer::kClose;
  MessageBox box;
  box.caption = "确 认";
  box.text = "编程操作正在进行中,确实要中断操作并退出吗?";
  box.buttons = MsgButtons::kYesNo;
  box.icon = MsgIcon::kQuestion;
  box.default_is_second = true;
  if (Dialogs().ShowMessage(box) != MsgAnswer::kYes) return CloseAnswer::kStayOpen;
  OnAbortRequested();
  return CloseAnswer::kCloseWhenIdle;
}

Outcome OnFunctionKey(int virtual_key) {
  AppState& app = App();
  if (virtual_key == kVkF5) {
    MessageBox box;
    box.caption = "尊敬的用户";
    box.text = "感谢您使用 ZVP-V2.0C 编程器控制软件!\n如有任何问题, 请与您的设备供应商联系。";
    Dialogs().ShowMessage(box);
  } else if (virtual_key == kVkF7) {
    // The initialisation runs on the UI thread and uses the port: never while
    // a worker has it.
    if (app.busy) return Outcome::kDeclined;
    MessageBox box;
    box.caption = "初始化存储器";
    box.text = "确实要完全擦除当前存储器么?";
    box.buttons = MsgButtons::kYesNo;
    if (Dialogs().ShowMessage(box) == MsgAnswer::kYes) {
      StopResetPoll();
      ApplyReportedReset();
      return RunOperationNow(OpInitMemory, ReadOperatorChoices());
    }
    StatusLine().SetStatus("操作已退出");
    return Outcome::kDeclined;
  }
  return Outcome::kDone;
}

}  // namespace zvp
