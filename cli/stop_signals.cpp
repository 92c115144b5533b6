#include "cli/stop_signals.h"

#include <csignal>

namespace zvp::cli {

std::atomic<bool> g_interrupted{false};
std::atomic<int> g_signals{0};
std::atomic<bool> g_chip_in_socket{false};
// 1: the run ends after this chip; 2: it is being stopped now.
std::atomic<int> g_notice{0};
std::atomic<bool>* g_user_abort = nullptr;
std::atomic<bool>* g_stop_requested = nullptr;

extern "C" void OnStopSignal(int signal) {
  const int n = g_signals.fetch_add(1) + 1;
  g_interrupted = true;
  if (g_chip_in_socket) {
    if (n == 1) {
      g_notice = 1;
    } else {
      g_stop_requested->store(true);
      g_user_abort->store(true);
      g_notice = 2;
    }
    std::signal(signal, OnStopSignal);
  } else {
    g_user_abort->store(true);
    std::signal(signal, SIG_DFL);
  }
}

}  // namespace zvp::cli
