#include "ui/dispatcher.h"

#include "link/address_range.h"
#include "core/app_state.h"
#include "link/connection.h"
#include "engine/engine.h"
#include "engine/operation_table.h"
#include "ui/control_ids.h"
#include "ui/code_view_panel.h"
#include "ui/control_table.h"
#include "ui/counters.h"
#include "ui/operation_buttons.h"
#include "ui/port_choice.h"
#include "ui/window_choices.h"
#include "core/status_display.h"
#include "core/user_dialogs.h"
#include "core/window_controls.h"
#include "core/window_frame.h"

namespace zvp {

namespace {

// The warning that the programmer memory holds no code yet: download first.
void WarnNoCodeInMemory() {
  MessageBox box;
  box.text = "编程内存中无代码调入,请打开相关的\n代码文件以调入编程代码!";
  box.caption = "警 告";
  box.icon = MsgIcon::kWarning;
  Dialogs().ShowMessage(box);
}

// The note that the range changed since the last programmer-memory
// checksum: take the checksum first.
void AskForChecksumFirst() {
  MessageBox box;
  box.text = "编程地址已改变,请首先点击[缓冲区检查和]按钮\n以得到编程内存检查和!";
  box.caption = "提 示";
  Dialogs().ShowMessage(box);
}

// The note that the memory was rewritten by hand since the download: save
// it and load it again first.
void AskToSaveAndReloadFirst() {
  MessageBox box;
  box.text = "编程内存代码已被重写,请先将内存代码保存\n为HEX文件然后重新加载,再执行本操作!";
  box.caption = "提示";
  Dialogs().ShowMessage(box);
}

// Reads the address boxes. One that holds no address (a paste can put
// "1FFFh" there) starts nothing, and the status line says why, in red.
bool ReadRangeOrRefuse() {
  if (ReadAddressRange() == 0) return true;
  App().link_fault = 1;
  StatusLine().SetStatus(kRangeRejectedText);
  return false;
}

// Applies the guards of `op` in the table's order; false at the first that
// refuses, which has said why.
bool GuardsPass(const OperationEntry& op) {
  const AppState& app = App();
  for (Guard guard : op.guards) {
    switch (guard) {
      case Guard::kNone:
        return true;
      case Guard::kMemoryNotEdited:
        if (app.memory_edited) {
          AskToSaveAndReloadFirst();
          return false;
        }
        break;
      case Guard::kCodeInMemory:
        if (!app.memory_loaded) {
          WarnNoCodeInMemory();
          return false;
        }
        break;
      case Guard::kRangeRead:
        if (!ReadRangeOrRefuse()) return false;
        break;
      case Guard::kChecksumOfRange:
        if (app.range_start != app.checksum_start || app.range_end != app.checksum_end) {
          AskForChecksumFirst();
          return false;
        }
        break;
    }
  }
  return true;
}

// What the code view's buttons do on the window before their operation runs.
void PrepareCodeView(int id) {
  AppState& app = App();
  switch (id) {
    case ctl::kShowMemory:
      ShowCodeView(1);
      if (!app.view_ready) SetupCodeView();
      app.view_ready = 1;
      break;
    case ctl::kViewMemory:
      Controls().SetText(ctl::kViewGroup, "编程内存代码视图");
      break;
    case ctl::kViewChip:
      Controls().SetText(ctl::kViewGroup, "芯片代码视图");
      break;
    default:
      break;
  }
}

bool BusyBlocks(int parent) {
  return parent == ctl::kOperationGroup || parent == ctl::kFileGroup ||
         parent == ctl::kPortGroup || parent == ctl::kViewGroup;
}

}  // namespace

void SelectRadio(int id) {
  const ControlSpec* me = FindControl(id);
  if (!me) return;
  for (const ControlSpec& c : MainWindowControls()) {
    if (c.kind == ControlKind::kRadio && c.parent == me->parent) Controls().SetChecked(c.id, c.id == id);
  }
}

void SelectChipType(int id) {
  for (int c : {ctl::kAutoLdcProtect, ctl::kAutoHwWriteProtect, ctl::kEnableSmart,
                ctl::kEraseBeforeProgram, ctl::kEraseMtp, ctl::kHwWriteProtect, ctl::kLdcProtect,
                ctl::kVdd33})
    Controls().SetEnabled(c, id == ctl::kChipMtp);
  if (id == ctl::kChipOtp) {
    Controls().SetChecked(ctl::kVdd50, true);
    Controls().SetChecked(ctl::kVdd33, false);
    Controls().SetText(ctl::kVddBox, "5.0");
  }
}

int SelectedPort() {
  const int ports[] = {ctl::kCom1, ctl::kCom2, ctl::kCom3, ctl::kCom4};
  for (int i = 0; i < 4; ++i)
    if (Controls().IsChecked(ports[i])) return i + 1;
  return 0;
}

std::string PortInUse() {
  int n = SelectedPort();
  if (n == 0) n = static_cast<int>(App().other_port.load());
  return n == 0 ? std::string() : PortName(n);
}

void ConnectChosenPort(int number) {
  if (number >= 1 && number <= 4) {
    SelectRadio(ctl::kCom1 + number - 1);
    SetOtherPort(0);
    ConnectPort(number, ReadOperatorChoices());
    return;
  }
  for (int id = ctl::kCom1; id <= ctl::kCom4; ++id) Controls().SetChecked(id, false);
  SetOtherPort(number);
  ConnectPort(PortName(number), ReadOperatorChoices());
}

void ChooseOtherPort() {
  ApplyReportedReset();
  if (App().busy && BusyBlocks(ctl::kPortGroup)) return;
  const auto chosen = Dialogs().RunPortDialog(PortInUse());
  if (!chosen || App().busy) return;
  // The dialog checks what was typed; a name it let through that is no
  // port connects nothing.
  const auto number = ParsePortNumber(*chosen);
  if (!number) return;
  ConnectChosenPort(*number);
}

void DispatchCommand(int id, int parent) {
  AppState& app = App();
  // The guards below must see what a reset the last poll heard changed.
  ApplyReportedReset();
  if (app.busy && BusyBlocks(parent)) return;

  if (const OperationEntry* op = OperationOfButton(id)) {
    if (!GuardsPass(*op)) return;
    PrepareCodeView(id);
    StartOperation(op->code, ReadOperatorChoices());
    return;
  }
  switch (id) {
    case ctl::kCom1:
    case ctl::kCom2:
    case ctl::kCom3:
    case ctl::kCom4:
      SetOtherPort(0);
      ConnectPort(id - ctl::kCom1 + 1, ReadOperatorChoices());
      break;
    case ctl::kChipOtp:
    case ctl::kChipMtp:
      SelectChipType(id);
      break;
    case ctl::kVdd50:
      Controls().SetText(ctl::kVddBox, "5.0");
      break;
    case ctl::kVdd33:
      Controls().SetText(ctl::kVddBox, "3.3");
      break;
    case ctl::kVpp12:
      Controls().SetText(ctl::kVppBox, "12.0");
      break;
    case ctl::kVppVcc:
      Controls().SetText(ctl::kVppBox, "VCC");
      break;
    case ctl::kQuit:
      Frame().RequestClose();
      break;
    case ctl::kBack:
      ShowCodeView(0);
      StatusLine().SetStatus("请选择编程操作");
      break;
    case ctl::kShowCounters:
      if (Controls().IsChecked(ctl::kShowCounters)) {
        Frame().SetWindowRegion(700, 700);
      } else {
        Frame().SetWindowRegion(700, 440);
      }
      break;
    case ctl::kClearCounts:
      ClearCounters();
      break;
    case ctl::kCounterSettings:
      EditCounterSettings();
      break;
    case ctl::kBuzzer:
      if (Controls().IsChecked(ctl::kBuzzer)) {
        app.function_flags |= fn::kBuzzer;
      } else {
        app.function_flags &= ~fn::kBuzzer;
      }
      break;
    case ctl::kPauseCounting:
      ToggleCounting();
      break;
    default:
      break;  // option boxes and the debug box are read when an operation starts
  }
}

}  // namespace zvp
