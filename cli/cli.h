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

class AppendFile;
class SerialPort;
class ThreadPriority;

struct CliPlatform {
  // The platform's serial port (Win32 or POSIX).
  SerialPort* port = nullptr;
  ThreadPriority* priority = nullptr;
  // The file --log writes, safe with several programs on one file.
  AppendFile* log_file = nullptr;
  // Turns the --port argument into the name the program connects and shows
  // ("COM7" on Windows, the device path elsewhere); empty when the argument
  // names no port this platform can use.
  std::function<std::string(const std::string& arg)> map_port;
  // Why the last open of the port failed (the path tried and the reason),
  // for standard error; may be left empty.
  std::function<std::string()> open_error;
  bool stdout_is_terminal = false;
  bool stdin_is_terminal = false;
};

// Runs the command line; returns the exit status: 0 every command done; 1 a
// command failed, was refused, was answered No or was interrupted (the
// commands after it do not run), or with auto --repeat a chip did not pass;
// 2 a usage error (no port included).
int RunCli(int argc, const char* const* argv, const CliPlatform& platform);

}  // namespace zvp
