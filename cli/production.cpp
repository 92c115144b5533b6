#include "cli/production.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "cli/stop_signals.h"
#include "core/app_state.h"
#include "ui/control_ids.h"
#include "link/connection.h"

namespace zvp::cli {

namespace {

// Lines typed on standard input, read on a thread of their own so that the
// reset watch can tick while the operator changes chips. The reading thread
// cannot be interrupted (a read of a terminal waits for the user) and may
// outlive the waiter, so what both touch is shared and lives as long as
// either needs it.
class LineWaiter {
 public:
  LineWaiter() : shared_(std::make_shared<Shared>()) {
    std::thread([shared = shared_] {
      std::string line;
      while (std::getline(std::cin, line)) {
        std::lock_guard<std::mutex> lock(shared->mu);
        ++shared->lines;
        shared->cv.notify_all();
      }
      std::lock_guard<std::mutex> lock(shared->mu);
      shared->ended = true;
      shared->cv.notify_all();
    }).detach();
  }
  // Waits for the next line, calling `tick` once a second meanwhile. False
  // at the end of the input or after a stop signal.
  bool Next(const std::function<void()>& tick) {
    Shared& s = *shared_;
    std::unique_lock<std::mutex> lock(s.mu);
    while (s.lines == 0 && !s.ended && !g_interrupted) {
      if (!s.cv.wait_for(lock, std::chrono::seconds(1), [&] { return s.lines > 0 || s.ended; })) {
        lock.unlock();
        tick();
        lock.lock();
      }
    }
    if (s.lines == 0 || g_interrupted) return false;
    --s.lines;
    return true;
  }

 private:
  struct Shared {
    std::mutex mu;
    std::condition_variable cv;
    int lines = 0;
    bool ended = false;
  };
  std::shared_ptr<Shared> shared_;
};

}  // namespace

std::optional<Outcome> RunAuto(Session& s, AutoRunRecord* run) {
  // From here to its line in the log the chip is in the socket: a stop
  // signal lets it finish (see OnStopSignal).
  g_chip_in_socket = true;
  if (g_interrupted) {
    g_chip_in_socket = false;
    return std::nullopt;
  }
  const std::optional<Outcome> result = Press(s.window, ctl::kAutoProgram);
  *run = s.runs.Take();
  if (result) ++s.chips;
  if (result && s.log) {
    const ProductionRecord record = MakeProductionRecord(*run, s.port_name);
    if (!s.log->Append(record)) {
      s.log_failed = true;
      std::string line = ProductionLogLine(record);
      line.erase(line.find_last_not_of("\r\n") + 1);
      std::cerr << "zvp: writing the log file " << s.options.log << " failed: " << s.log->Error()
                << "; stopped\n"
                << "zvp: chip " << s.chips << " (" << record.time << ", " << record.verdict
                << ") is not in the log; its line would have been:\n"
                << line << "\n"
                << std::flush;
    }
  }
  g_chip_in_socket = false;
  return result;
}

bool RunProduction(Session& s) {
  LineWaiter waiter;
  bool all_passed = true;
  int runs = 0;
  for (;;) {
    AutoRunRecord run;
    const std::optional<Outcome> result = RunAuto(s, &run);
    // A guard that refuses now refuses every next chip too.
    if (!result) {
      all_passed = false;
      break;
    }
    ++runs;
    const bool passed = *result == Outcome::kDone;
    all_passed = all_passed && passed;
    const AppState& app = App();
    std::cout << "pass: " << app.pass_count << "  fail: " << app.fail_count << "\n" << std::flush;
    // A run the programmer could not take part in counted no chip: say why.
    if (!passed && run.verdict == AutoVerdict::kNotCounted) {
      std::cerr << (app.port_chosen ? "zvp: the programmer does not answer; this chip was not counted\n"
                                    : "zvp: the programmer's port has gone; this chip was not counted\n")
                << std::flush;
    } else if (!passed && run.verdict == AutoVerdict::kNotCountedRestart) {
      std::cerr << "zvp: the programmer restarted and lost the code; this chip was not counted\n"
                << std::flush;
    }
    // A log that cannot take the next line, or a stop: no next chip.
    if (s.log_failed || g_interrupted) break;
    std::cerr << "zvp: Enter programs the next chip; end of input stops\n" << std::flush;
    if (!waiter.Next([] { OnTimerTick(ctl::kResetPollTimer); })) break;
    StopResetPoll();
  }
  StopResetPoll();
  const AppState& app = App();
  std::cout << "total: " << runs << " runs, pass: " << app.pass_count
            << "  fail: " << app.fail_count << (all_passed ? "" : "  (not every chip passed)")
            << "\n"
            << std::flush;
  return all_passed && !s.log_failed;
}

}  // namespace zvp::cli
