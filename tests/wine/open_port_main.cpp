// open_port_test: the Win32 serial adapter and the link's connect sequence
// against the virtual programmer, run under Wine by run_open_port.sh.
//
// Expects COM1 to lead to a programmer that answers every 21-byte header,
// COM12 to the same programmer, and COM4 to lead nowhere. Prints one line per check and exits 0
// only when every check held. "--trace" adds a line for each serial-port call.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

#include "core/app_state.h"
#include "core/clock.h"
#include "core/protocol.h"
#include "link/serial_link.h"
#include "link/wire_trace.h"
#include "tests/wine/console_surface.h"
#include "windows/serial_win32.h"
#include "windows/thread_priority_win32.h"
#include "ui/window_choices.h"

// Last, so that its MessageBox macro cannot rename the surface's type above.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#undef MessageBox

namespace {

using zvp::App;
using zvp::PortHandle;
namespace cmd = zvp::cmd;
namespace hdr = zvp::hdr;

int failures = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "PASS" : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok) ++failures;
}

const char* HandleName(PortHandle h) {
  switch (h) {
    case PortHandle::kNone:
      return "none";
    case PortHandle::kInvalid:
      return "invalid";
    case PortHandle::kOpen:
      return "open";
  }
  return "?";
}

// The adapter on its own, before the link touches it: a port that was never
// opened refuses every call, and a failed open leaves the invalid handle.
void CheckUnopenedPort() {
  zvp::Win32SerialPort port;
  Check(port.Handle() == PortHandle::kNone, "a new port holds no handle");
  Check(!port.SetupQueues(1024, 1024), "SetupQueues fails on a port that was never opened");
  uint8_t byte = 0;
  uint32_t got = 7;
  Check(!port.Read(&byte, 1, &got) && got == 0, "Read fails and reports 0 bytes when not open");

  Check(!port.Open("COM4"), "opening COM4 (no device behind it) fails");
  Check(port.Handle() == PortHandle::kInvalid,
        std::string("a failed open leaves the invalid handle (got ") + HandleName(port.Handle()) +
            ")");
  const std::string why = port.OpenError();
  Check(why.rfind("\\\\.\\COM4: ", 0) == 0 && why.size() > 10,
        "... and OpenError names the path and the reason: " + why);
  Check(port.LastOpenFailure() == zvp::OpenFailure::kNoSuchPort, "... a port that does not exist");
  Check(!port.SetupQueues(1024, 1024), "SetupQueues fails after a failed open");
  Check(!port.WaitTxEmpty(500), "WaitTxEmpty fails after a failed open");
  port.Close();
  Check(port.Handle() == PortHandle::kNone, "Close after a failed open leaves no handle");
}

// A port number past 9 opens through the device namespace (COM12 leads to
// the simulator's line, as COM1 does), and a name that already carries the
// namespace prefix is taken as it is. A successful open clears the reason an
// earlier one failed.
void CheckHighPortNumber() {
  zvp::Win32SerialPort port;
  Check(!port.Open("COM4") && !port.OpenError().empty(), "COM4 fails and says why");
  Check(port.Open("COM12") && port.OpenError().empty(),
        "COM12 opens, and OpenError is empty again");
  Check(port.Open("\\\\.\\COM12") && port.OpenError().empty(),
        "a name that carries the device prefix opens as it is");
  port.Close();
}

// A port is one holder's while it is open, whatever the driver allows
// (Wine lets a second handle open a serial device that is in use): a second
// open of the same port, under any spelling, fails as in use and says so;
// another port name is another port; the first Close frees it. Also the
// system errors a refused open gives, by the kind of failure they are.
void CheckPortClaim() {
  zvp::Win32SerialPort first, second;
  Check(first.Open("COM1"), "COM1 opens");
  Check(!second.Open("COM1") && second.Handle() == PortHandle::kInvalid,
        "a second holder cannot open COM1 while the first has it");
  Check(second.LastOpenFailure() == zvp::OpenFailure::kInUse,
        "... and is told the port is in use: " + second.OpenError());
  Check(second.OpenError().rfind("\\\\.\\COM1: ", 0) == 0, "... naming the port");
  Check(!second.Open("\\\\.\\com1") && second.LastOpenFailure() == zvp::OpenFailure::kInUse,
        "\\\\.\\com1 is the same port");
  Check(second.Open("COM12"), "COM12 is another port name, with its own claim");
  first.Close();
  Check(second.Open("COM1") && second.LastOpenFailure() == zvp::OpenFailure::kNone,
        "once the first holder closes it, COM1 opens for the second");
  Check(!first.Open("COM1") && first.LastOpenFailure() == zvp::OpenFailure::kInUse,
        "and is now the second's");
  second.Close();
  Check(first.Open("COM1"), "and free again after its Close");
  first.Close();

  using zvp::OpenFailure;
  const std::pair<unsigned long, OpenFailure> errors[] = {
      {ERROR_FILE_NOT_FOUND, OpenFailure::kNoSuchPort}, {ERROR_PATH_NOT_FOUND, OpenFailure::kNoSuchPort},
      {ERROR_INVALID_NAME, OpenFailure::kNoSuchPort},   {ERROR_ACCESS_DENIED, OpenFailure::kInUse},
      {ERROR_SHARING_VIOLATION, OpenFailure::kInUse},   {ERROR_LOCK_VIOLATION, OpenFailure::kInUse},
      {ERROR_BUSY, OpenFailure::kInUse},                {ERROR_GEN_FAILURE, OpenFailure::kOther},
  };
  bool all = true;
  for (const auto& [error, kind] : errors) all = all && zvp::Win32SerialPort::FailureOf(error) == kind;
  Check(all, "system errors map onto no such port, in use and other");
}

// The worker's priority request, on a thread of its own so the main thread
// keeps its normal priority.
void CheckThreadPriority() {
  bool raised = false;
  int priority = THREAD_PRIORITY_ERROR_RETURN;
  std::thread worker([&] {
    zvp::Win32ThreadPriority p;
    raised = p.RaiseCurrentToTimeCritical();
    priority = GetThreadPriority(GetCurrentThread());
  });
  worker.join();
  Check(raised && priority == THREAD_PRIORITY_TIME_CRITICAL,
        "a raised thread runs at time-critical priority (got " + std::to_string(priority) + ")");
}

}  // namespace

int main(int argc, char** argv) {
  SetConsoleOutputCP(CP_UTF8);
  bool trace_wire = argc > 1 && std::strcmp(argv[1], "--trace") == 0;

  CheckUnopenedPort();
  CheckHighPortNumber();
  CheckPortClaim();
  CheckThreadPriority();

  zvp::Win32SerialPort win_port;
  zvp::SystemClock clock;
  zvp::test::ConsoleSurface surface;
  zvp::Win32ThreadPriority priority;
  zvp::WireTrace trace(&clock, [](const std::string& line) {
    std::printf("[wire] %s\n", line.c_str());
    std::fflush(stdout);
  });
  zvp::TracedPort traced(&win_port, &trace);

  App().port = trace_wire ? static_cast<zvp::SerialPort*>(&traced) : &win_port;
  App().clock = &clock;
  zvp::InstallWindow(&surface);
  App().priority = &priority;
  App().trace = trace_wire ? &trace : nullptr;
  zvp::ResetAppState();

  // (a) A port with nothing behind it is refused at once, silently.
  int64_t start = clock.NowUs();
  bool opened = zvp::OpenPort("COM4", zvp::ReadOperatorChoices());
  int64_t took_ms = (clock.NowUs() - start) / 1000;
  Check(!opened, "OpenPort(\"COM4\") returns false");
  Check(took_ms < 1000, "... within a second (" + std::to_string(took_ms) + " ms)");
  Check(
      win_port.Handle() == PortHandle::kInvalid,
      std::string("... and leaves the invalid handle (got ") + HandleName(win_port.Handle()) + ")");
  Check(surface.Boxes().empty(), "... without a message box");

  // (b) The programmer on COM1 answers the connect header.
  surface.ClearRecord();
  start = clock.NowUs();
  opened = zvp::OpenPort("COM1", zvp::ReadOperatorChoices());
  took_ms = (clock.NowUs() - start) / 1000;
  Check(opened, "OpenPort(\"COM1\") returns true (" + std::to_string(took_ms) + " ms)");
  Check(win_port.Handle() == PortHandle::kOpen,
        std::string("... and holds an open handle (got ") + HandleName(win_port.Handle()) + ")");
  Check(App().link_fault.load() == 0, "... with link_fault 0");
  Check(App().header[hdr::kCommand] == cmd::kConnect, "... with the connect command 1 in header byte 20");
  Check(surface.Boxes().empty(), "... without a message box");

  // (c) The open port carries a second exchange.
  surface.ClearRecord();
  App().header.SetCommand(cmd::kConnect);
  start = clock.NowUs();
  bool begun = zvp::BeginLink();
  took_ms = (clock.NowUs() - start) / 1000;
  Check(begun, "BeginLink() on the open port returns true (" + std::to_string(took_ms) + " ms)");
  Check(App().link_fault.load() == 0, "... with link_fault 0");
  Check(surface.Boxes().empty(), "... without a message box");

  // Nothing is waiting to go out, so the transmit-empty event has long
  // passed: the wait must notice that at once instead of waiting for an
  // event that will not come.
  win_port.WatchTxEmpty();
  start = clock.NowUs();
  bool drained = win_port.WaitTxEmpty(zvp::kTxEmptyTimeoutMs);
  took_ms = (clock.NowUs() - start) / 1000;
  Check(drained, "WaitTxEmpty with nothing queued succeeds (" + std::to_string(took_ms) + " ms)");
  Check(took_ms < 100, "... well before its time-out");

  // The adapter's read honours the reply time-outs BeginLink left: nothing
  // is pending, so a 1-byte read ends empty but successful, and soon.
  uint8_t byte = 0;
  uint32_t got = 99;
  start = clock.NowUs();
  bool read_ok = win_port.Read(&byte, 1, &got);
  took_ms = (clock.NowUs() - start) / 1000;
  Check(read_ok && got == 0,
        "a read with nothing pending succeeds with 0 bytes (got " + std::to_string(got) + ")");
  Check(took_ms < 500, "... and ends by its time-out (" + std::to_string(took_ms) + " ms)");

  win_port.Close();
  Check(win_port.Handle() == PortHandle::kNone, "Close leaves no handle");

  std::printf("%s: %d check(s) failed\n", failures == 0 ? "OK" : "FAILED", failures);
  return failures == 0 ? 0 : 1;
}
