// zvp: the command line on Linux and other POSIX systems. --port takes a
// device path (a USB serial adapter, a pseudo-terminal of zvp-sim), which the
// program uses as COM1.
#include <unistd.h>

#include "cli/cli.h"
#include "posix/serial_posix.h"
#include "posix/thread_priority_posix.h"

int main(int argc, char** argv) {
  zvp::PosixSerialPort port;
  zvp::PosixThreadPriority priority;
  zvp::CliPlatform platform;
  platform.port = &port;
  platform.priority = &priority;
  platform.map_port = [&port](const std::string& arg) -> std::string {
    port.MapName("COM1", arg);
    return "COM1";
  };
  platform.stdout_is_terminal = isatty(STDOUT_FILENO);
  platform.stdin_is_terminal = isatty(STDIN_FILENO);
  return zvp::RunCli(argc, argv, platform);
}
