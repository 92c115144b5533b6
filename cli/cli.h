// The command line front end: presses the window's buttons, through the same
// dispatcher and guards, on the headless window model, and prints what the
// window would show. One implementation for every platform; the program's
// main supplies the platform's serial port.
//
//   zvp [OPTIONS] COMMAND [COMMAND ...]
#pragma once

#include <functional>
#include <string>

namespace zvp {

class SerialPort;
class ThreadPriority;

struct CliPlatform {
  // The platform's serial port (Win32 or POSIX).
  SerialPort* port = nullptr;
  ThreadPriority* priority = nullptr;
  // Turns the --port argument into the COM name the program connects
  // ("COM1".."COM4"), arranging for that name to reach the device; empty when
  // the argument names no port this platform can use.
  std::function<std::string(const std::string& arg)> map_port;
  bool stdout_is_terminal = false;
  bool stdin_is_terminal = false;
};

// Runs the command line; returns the exit status (0 done, 1 a command failed
// or was refused, 2 a usage error or a command not available yet).
int RunCli(int argc, const char* const* argv, const CliPlatform& platform);

}  // namespace zvp
