#include "engine/engine.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/app_state.h"
#include "link/connection.h"
#include "link/operation_header.h"
#include "link/serial_link.h"
#include "engine/operation_table.h"
#include "core/thread_priority.h"
#include "core/code_view_list.h"
#include "core/status_display.h"

namespace zvp {

namespace {

// Workers are detached: the UI thread must never join one, because a worker
// may be waiting for the UI thread to take a status text. Only the command
// line and the tests wait, through this count.
struct Workers {
  std::mutex mu;
  std::condition_variable done;
  int running = 0;
  uint64_t started = 0;
  // Detached workers have no caller to return to: the outcome of the last
  // one to finish waits here for WaitForWorkers, under the same lock.
  Outcome last_outcome = Outcome::kDone;
};

Workers& TheWorkers() {
  static Workers w;
  return w;
}

void WorkerMain() {
  AppState& app = App();
  if (app.priority) app.priority->RaiseCurrentToTimeCritical();
  const Outcome outcome = RunOperation();
  Workers& w = TheWorkers();
  std::lock_guard<std::mutex> lock(w.mu);
  w.last_outcome = outcome;
  --w.running;
  w.done.notify_all();
}

}  // namespace

void StartOperation(uint8_t code, const OperatorChoices& choices) {
  AppState& app = App();
  if (!app.port_chosen) {
    StatusLine().SetStatus("请点击相应的COM端口以启动编程器连接");
    return;
  }
  StopResetPoll();
  // A reset that a poll heard just now makes the guards the dispatcher
  // applied before it stale (the programmer memory is gone): nothing starts,
  // and the reset text says why.
  if (ApplyReportedReset()) return;
  // Stored before the worker exists, which only reads them; the next start
  // comes after it has finished.
  app.choices = choices;
  app.header.SetCommand(code);
  BuildOperationHeader(choices);
  // Busy from this moment, not from when the worker gets going: a timer tick
  // that comes first must not start a reset poll on the port the worker is
  // about to use, and the dispatcher must already refuse a second start.
  app.busy = 1;
  Workers& w = TheWorkers();
  {
    std::lock_guard<std::mutex> lock(w.mu);
    ++w.running;
    ++w.started;
  }
  std::thread(WorkerMain).detach();
}

Outcome RunOperation() {
  AppState& app = App();
  app.busy = 1;
  app.link_fault = 0;
  StatusLine().UpdateCursor();
  app.link_fault = 0;
  const uint8_t code = app.header.Command();
  // The code view's controls stay locked while a page loads.
  if (code >= OpViewShow) ViewList().LockViewControls(true);
  Outcome outcome = DispatchOperation(code);
  // A reset message that the operation read in part as a reply failed it;
  // its rest is waiting in the input queue.
  if (app.link_fault) ListenToWaitingInput();
  // Before busy drops: no new operation can start before the reaction ran.
  // A sequence reacts itself, after the step that heard it.
  if (!app.auto_running) ApplyResetHeardInTraffic();
  // Read before busy drops: afterwards the UI thread may set it again.
  if (outcome == Outcome::kDone && app.link_fault) outcome = Outcome::kFailed;
  if (!app.auto_running) {
    app.busy = 0;
    StatusLine().UpdateCursor();
    ViewList().LockViewControls(false);
  }
  return outcome;
}

Outcome RunOperationNow(uint8_t code) {
  App().header.SetCommand(code);
  return RunOperation();
}

Outcome RunOperationNow(uint8_t code, const OperatorChoices& choices) {
  App().choices = choices;
  return RunOperationNow(code);
}

Outcome WaitForWorkers() {
  Workers& w = TheWorkers();
  std::unique_lock<std::mutex> lock(w.mu);
  w.done.wait(lock, [&] { return w.running == 0; });
  return w.last_outcome;
}

uint64_t WorkersStarted() {
  Workers& w = TheWorkers();
  std::lock_guard<std::mutex> lock(w.mu);
  return w.started;
}

}  // namespace zvp
