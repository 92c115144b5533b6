// ProgrammerApp: the window program. It installs the platform's seams in the
// state record (the comm-API port, or with --simulate the built-in virtual
// programmer on COM1..COM4; the registry; the real clock), runs MainDialog
// modally and ends when the window has closed. Started for a port (--port
// COMn, one shortcut per programmer on a bench), it keeps that port's own
// settings under a key of their own, connects the port at start and names
// it in the caption.
#pragma once

#include <memory>

#include "core/clock.h"
#include "ui/port_choice.h"
#include "ui/production_log.h"
#include "windows/registry_store.h"
#include "windows/serial_win32.h"
#include "windows/thread_priority_win32.h"
#include "windows/win32.h"
#include "windows/win32_surface.h"

namespace zvp {
class SimPort;
class VirtualProgrammer;
}  // namespace zvp

namespace zvp::win {

class ProgrammerApp {
 public:
  ProgrammerApp(HINSTANCE instance, const StartOptions& options);
  ~ProgrammerApp();
  ProgrammerApp(const ProgrammerApp&) = delete;
  ProgrammerApp& operator=(const ProgrammerApp&) = delete;

  // Runs the window to its end; the process's exit status.
  int Run();

 private:
  // After the window: lets a still running operation or reset poll finish
  // before the seams go away.
  void Shutdown();

  HINSTANCE instance_;
  bool simulate_;
  int start_port_;  // n of --port COMn, 0 without it
  SystemClock clock_;
  Win32ThreadPriority priority_;
  RegistryStore settings_;
  Win32SerialPort serial_;
  std::unique_ptr<VirtualProgrammer> device_;
  std::unique_ptr<SimPort> sim_port_;
  Win32Surface surface_;
  DailyProductionLog log_;
};

}  // namespace zvp::win
