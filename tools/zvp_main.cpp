// zvp: the command line on Linux and other POSIX systems. --port takes a
// device path (a USB serial adapter, a pseudo-terminal of zvp-sim); the
// program connects it under that name, so the status line names it.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "cli/cli.h"
#include "posix/append_file_posix.h"
#include "posix/serial_posix.h"
#include "posix/thread_priority_posix.h"

int main(int argc, char** argv) {
  zvp::PosixSerialPort port;
  zvp::PosixThreadPriority priority;
  zvp::PosixAppendFile log_file;
  zvp::CliPlatform platform;
  platform.port = &port;
  platform.priority = &priority;
  platform.log_file = &log_file;
  platform.map_port = [&port](const std::string& arg) -> std::string {
    // A path as given; COM1..COM4 are the first serial lines (/dev/ttyS0..3).
    if (arg.empty() || arg[0] == '/' || !port.DevicePath(arg).empty()) return arg;
    // A relative path (ttyUSB0 in /dev, say) opens from where it was given.
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(arg, ec);
    return ec ? std::string() : full.string();
  };
  platform.open_error = [&port] { return port.OpenError(); };
  platform.stdout_is_terminal = isatty(STDOUT_FILENO);
  platform.stdin_is_terminal = isatty(STDIN_FILENO);
  return zvp::RunCli(argc, argv, platform);
}
