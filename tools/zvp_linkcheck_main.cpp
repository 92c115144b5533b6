// zvp-linkcheck: opens a port, exchanges the connect header with the
// programmer and prints the wire trace and the outcome. A first diagnosis of
// a link: does anything answer on this port at all?
//
//   zvp-linkcheck DEVICE      (a tty path such as /dev/ttyUSB0 or a pseudo-terminal)
#include <cstdio>
#include <iostream>
#include <string>

#include "core/app_state.h"
#include "core/clock.h"
#include "link/serial_link.h"
#include "link/wire_trace.h"
#include "posix/serial_posix.h"
#include "ui/headless_window.h"
#include "ui/start_up.h"
#include "ui/window_choices.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zvp-linkcheck DEVICE\n");
    return 2;
  }
  zvp::SystemClock clock;
  zvp::PosixSerialPort serial;
  zvp::WireTrace trace(&clock, [](const std::string& line) { std::printf("  %s\n", line.c_str()); });
  zvp::TracedPort port(&serial, &trace);

  // The window as a new user first sees it, for the header's choices; its
  // status texts and boxes go to the terminal.
  zvp::ResetAppState();
  zvp::AppState& app = zvp::App();
  app.clock = &clock;
  zvp::HeadlessWindow window;
  zvp::InstallWindow(&window);
  zvp::InitialiseMainWindow();
  zvp::HeadlessWindow::Observers print;
  print.status_changed = [](const std::string& text) { std::printf("status: %s\n", text.c_str()); };
  print.message_box = [](const zvp::MessageBox& box) {
    std::cerr << "[" << box.caption << "] " << box.text << "\n";
    return zvp::MsgAnswer::kOk;
  };
  window.SetObservers(print);
  app.port = &port;
  app.trace = &trace;

  std::printf("connecting to %s\n", argv[1]);
  const bool ok = zvp::OpenPort(argv[1], zvp::ReadOperatorChoices());
  std::printf(ok ? "the programmer answered the connect header\n"
                 : "no answer from a programmer on this port\n");
  if (!ok && !serial.OpenError().empty()) std::printf("%s\n", serial.OpenError().c_str());
  window.SetObservers({});
  zvp::InstallWindow(nullptr);
  app.port = nullptr;
  app.trace = nullptr;
  return ok ? 0 : 1;
}
