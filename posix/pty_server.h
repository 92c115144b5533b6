// Serves the virtual programmer on a pseudo-terminal in real time: the PC
// side opens the slave path (directly, or through Wine's dosdevices/comN
// link) and talks to it as to the programmer on a serial line.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "core/clock.h"
#include "sim/virtual_programmer.h"

namespace zvp {

class PtyServer {
 public:
  PtyServer(VirtualProgrammer* device, Clock* clock);
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Opens the pseudo-terminal; false on failure.
  bool Open();
  const std::string& path() const { return path_; }

  // Serves until Stop() or until `control` (called for each line read from
  // control_fd, if control_fd >= 0) returns false.
  void Run(int control_fd, const std::function<bool(const std::string&)>& control);
  void Stop() { stop_ = true; }
  // Safe from a signal handler: the reset message goes out on the next turn.
  void RequestReset() { reset_requested_ = true; }

 private:
  VirtualProgrammer* device_;
  Clock* clock_;
  int master_ = -1;
  int slave_ = -1;  // kept open so the master never sees a hang-up between PC sessions
  std::string path_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> reset_requested_{false};
};

}  // namespace zvp
