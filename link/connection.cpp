#include "link/connection.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "image/code_buffer.h"
#include "core/app_state.h"
#include "link/reset_scan.h"
#include "link/serial_link.h"
#include "core/operation_boxes.h"
#include "core/status_display.h"
#include "core/user_dialogs.h"
#include "core/window_frame.h"

namespace zvp {

namespace {

// The reset poll's hold on the port. A poll is "running" from the tick that
// starts it to its last statement; it "holds the port" only while it does its
// port work. The status text comes after the port is let go, so stopping a
// poll waits only for port work, which never waits for the UI thread.
struct PollState {
  std::mutex mu;
  std::condition_variable changed;
  bool running = false;
  bool holds_port = false;
  std::atomic<bool> cancel{false};
  // A poll heard "STARRESET" and the UI thread has not reacted to it yet.
  std::atomic<bool> reset_reported{false};
};

PollState& Poll() {
  static PollState p;
  return p;
}

void LetGoOfPort() {
  PollState& p = Poll();
  std::lock_guard<std::mutex> lock(p.mu);
  p.holds_port = false;
  p.changed.notify_all();
}

void PollThreadMain() {
  ResetPoll();
  PollState& p = Poll();
  std::lock_guard<std::mutex> lock(p.mu);
  p.running = false;
  p.changed.notify_all();
}

constexpr char kChecksumUnknown[] = "XXXX";

constexpr char kResetText[] =
    "OK,检测到 ZVP-V2.0C 已复位!请点击[下载文件代码]按钮以刷新编程器内存代码";

// After the connection error on the status line, a box says which of the
// ways a connection fails this was: the technician's next step differs.
void TellWhyConnectionFailed(const std::string& name) {
  const SerialPort& port = *App().port;
  std::string text;
  if (port.Handle() == PortHandle::kOpen) {
    text = "端口 " + name + " 已打开, 但编程器没有应答!\n请检查编程器的电源和连接线, 然后重新连接该端口。";
  } else {
    switch (port.LastOpenFailure()) {
      case OpenFailure::kNoSuchPort:
        text = "端口 " + name + " 不存在!\n请检查USB转串口线是否插好, 并确认编程器所在的端口号。";
        break;
      case OpenFailure::kInUse:
        text = "端口 " + name +
               " 已被其它软件占用!\n例如另一个编程器窗口或串口调试软件。\n请关闭占用该端口的软件, 或选择其它端口。";
        break;
      default:
        text = "端口 " + name + " 无法打开!\n请检查该端口的驱动程序是否正常。";
        break;
    }
  }
  MessageBox box;
  box.text = text;
  box.caption = "警 告";
  box.icon = MsgIcon::kWarning;
  Dialogs().ShowMessage(box);
}

}  // namespace

const char kConnectionErrorText[] = "编程器连接错误,编程器可能正忙,请稍候再试!";

void ForgetProgrammerMemory() {
  AppState& app = App();
  app.memory_loaded = 0;
  if (!Boxes().ChecksumText().empty()) {
    Boxes().ShowChecksum(kChecksumUnknown);
  }
}

void ReportProgrammerLost(Reconnect reconnect) {
  AppState& app = App();
  app.count_failure = 0;
  if (reconnect == Reconnect::kArmTimer) Boxes().ArmReconnectTimer(1000);
  app.link_fault = 1;
  StatusLine().SetStatus(kConnectionErrorText);
  ForgetProgrammerMemory();
}

void ConnectPort(int n, const OperatorChoices& choices) {
  ConnectPort("COM" + std::to_string(n), choices);
}

void ConnectPort(const std::string& name, const OperatorChoices& choices) {
  AppState& app = App();
  app.port_chosen = 1;
  app.programmer_found = 0;
  app.link_fault = 0;
  // Whatever answers on this port is a programmer whose memory this
  // program has not filled.
  ForgetProgrammerMemory();
  // The UI thread is blocked for the rest of the sequence: show the text now.
  StatusLine().SetStatus("初始化ZVP-V2.0C,请稍候......");
  StatusLine().RepaintStatus();
  StopResetPoll();
  // A reset the stopped poll heard still empties the buffer.
  ApplyReportedReset();
  app.busy = 1;
  app.link_fault = 0;
  StatusLine().UpdateCursor();
  bool found = OpenPort(name, choices);
  if (!found) {
    DelayMs(100);
    found = OpenPort(name, choices);
  }
  if (found) app.programmer_found = 1;
  app.busy = 0;
  StatusLine().UpdateCursor();
  if (app.programmer_found) {
    StatusLine().SetStatus("OK, 已检测到 ZVP-V2.0C 连接在端口 " + name);
  } else {
    // The connection error keeps its place on the status line.
    ReportProgrammerLost(Reconnect::kArmTimer);
    // A port the link found unusable has had its own box (and port_chosen
    // dropped); any other failure says here why.
    if (app.port_chosen) TellWhyConnectionFailed(name);
  }
}

void OnTimerTick(int /*timer_id*/) {
  ApplyReportedReset();
  if (App().busy) return;
  PollState& p = Poll();
  {
    std::lock_guard<std::mutex> lock(p.mu);
    // Two timers may tick close together; a poll still at work keeps the
    // port to itself.
    if (p.running) return;
    p.running = true;
    p.holds_port = true;
    p.cancel = false;
  }
  std::thread(PollThreadMain).detach();
}

void StopResetPoll() {
  PollState& p = Poll();
  std::unique_lock<std::mutex> lock(p.mu);
  if (!p.running) return;
  p.cancel = true;
  p.changed.wait(lock, [&] { return !p.holds_port; });
}

bool ResetPollRunning() {
  PollState& p = Poll();
  std::lock_guard<std::mutex> lock(p.mu);
  return p.running;
}

void WaitForResetPoll() {
  PollState& p = Poll();
  std::unique_lock<std::mutex> lock(p.mu);
  p.changed.wait(lock, [&] { return !p.running; });
}

namespace {

// On the UI thread (or where the window runs its tasks).
void ReactToReset() {
  AppState& app = App();
  app.programmer_found = true;
  app.link_fault = true;  // the status line turns red
  // A restarted programmer's memory is empty: the buffer that stood for it
  // is cleared, and the sum shown is no more.
  EraseCodeBuffer(app.code_buffer);
  ForgetProgrammerMemory();
  StatusLine().SetStatus(kResetText);
}

}  // namespace

bool ApplyReportedReset() {
  if (!Poll().reset_reported.exchange(false)) return false;
  ReactToReset();
  return true;
}

bool ApplyResetHeardInTraffic() {
  AppState& app = App();
  if (!app.reset_heard.exchange(false)) return false;
  // The operation's result, on this thread, whatever the window does.
  app.link_fault = true;
  app.memory_loaded = false;
  // The rest as a reset the poll heard: on the UI thread, which owns the
  // buffer while no operation runs. This thread is the one that runs the
  // operation and does not touch the buffer while it waits here.
  Frame().RunOnUiThread([] { ReactToReset(); });
  return true;
}

int ResetPoll() {
  AppState& app = App();
  PollState& p = Poll();
  SerialPort* port = app.port;
  bool reset_seen = false;

  // Port work. A stop request is honoured between steps: the poll then
  // leaves the port as it is and changes nothing.
  if (port && port->Handle() == PortHandle::kOpen && !p.cancel &&
      port->SetupQueues(1024, 1024)) {
    SetLinkTimeouts(kPollTimeouts);
    const bool fault_before = app.link_fault;
    uint8_t buf[16];
    AwaitReply(buf, sizeof buf, 9, 5);
    if (!p.cancel) {
      ClearLineErrors();
      // What the purge would throw away is listened to first.
      ListenToWaitingInput();
      for (int i = 0; i < kPortRetryLimit && !port->Purge(); ++i) {
      }
    }
    // Heard is heard, also when a stop came meanwhile: the message is gone
    // from the line, and a restarted programmer must not be trusted. The
    // link listens to every byte it reads, so a message that a poll or an
    // operation before it read in part is heard too.
    reset_seen = app.reset_heard.exchange(false);
    // The poll changes no state of its own: a silent programmer is not a
    // fault, nor is a port that refuses the clean-up (it may have gone; the
    // next operation says so in its own words).
    app.link_fault = fault_before;
    // Reported before the port is let go, so that an operation about to
    // start finds the report when its stop of this poll returns.
    if (reset_seen) p.reset_reported = true;
  }
  LetGoOfPort();

  // The reaction runs on the UI thread, the one owner of the buffer while
  // no operation runs (it stores the code view's edits): there it cannot
  // overlap a store. Asked for after the port is let go, so a UI thread
  // that is stopping this poll is not waiting for it any more; one that
  // stopped it reacts itself (StartOperation, ConnectPort).
  if (reset_seen && !p.cancel) Frame().RunOnUiThread([] { ApplyReportedReset(); });
  return 0;
}

}  // namespace zvp
