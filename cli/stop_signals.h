// The command line's stop signals: the flags the handler sets and the
// words that answer them.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "cli/terminal.h"

namespace zvp::cli {

// Ctrl-C and SIGTERM. Outside an auto run the first asks the running
// transfer to stop, as the user's double-click on the status line does (a
// save then keeps the old file), the commands after it do not run, and a
// second signal ends the program at once. A chip in the socket is never
// left that way: during an auto run the first signal lets the chip finish
// (and is answered at once on standard error), a second stops the run at
// its next safe point (stop_requested, and user_abort for a transfer), and
// the run is logged as failed; no signal after it ends the program, so that
// every chip touched gets its line in the log.
//
// The handler touches only lock-free atomics and re-installs itself (the
// Windows runtime resets a handler before calling it); the words are
// printed by a thread that watches g_notice.
extern std::atomic<bool> g_interrupted;
extern std::atomic<int> g_signals;
extern std::atomic<bool> g_chip_in_socket;
// 1: the run ends after this chip; 2: it is being stopped now.
extern std::atomic<int> g_notice;
extern std::atomic<bool>* g_user_abort;
extern std::atomic<bool>* g_stop_requested;

extern "C" void OnStopSignal(int signal);

// The answers to the stop signals of an auto run, printed from a thread of
// its own within a fiftieth of a second of the signal (the handler may not
// print).
class SignalNotices {
 public:
  explicit SignalNotices(Printer& printer) : printer_(printer), thread_([this] { Watch(); }) {}
  ~SignalNotices() {
    done_ = true;
    thread_.join();
  }
  SignalNotices(const SignalNotices&) = delete;
  SignalNotices& operator=(const SignalNotices&) = delete;

 private:
  void Watch() {
    int said = 0;
    for (;;) {
      // A signal that came just before the end is still answered.
      const bool last = done_;
      const int notice = g_notice;
      if (notice > said) {
        printer_.Notice(notice == 1
                            ? "zvp: stopping after this chip; Ctrl-C again stops it now, and "
                              "the chip is logged as failed"
                            : "zvp: stopping this chip now: no further step runs on it (a code "
                              "stream stops at once); it is logged as failed");
        said = notice;
      }
      if (last) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  Printer& printer_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace zvp::cli
