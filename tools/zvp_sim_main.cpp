// zvp-sim: the virtual programmer on a pseudo-terminal. Prints the terminal's
// path as its first line, then serves until interrupted.
//
//   zvp-sim [--link PATH] [--silent] [--short N] [--unpaced]
//
// Lines on standard input steer it while it runs:
//   reset         send the unsolicited "STARRESET"
//   silent on|off answer headers or not
//   short N|off   answer headers with only N bytes
//   quit          stop
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "link/clock.h"
#include "posix/pty_server.h"
#include "sim/virtual_programmer.h"

namespace {

zvp::PtyServer* g_server = nullptr;

void OnStop(int) {
  if (g_server) g_server->Stop();
}

void OnReset(int) {
  if (g_server) g_server->RequestReset();
}

int Usage() {
  std::fprintf(stderr, "usage: zvp-sim [--link PATH] [--silent] [--short N] [--unpaced]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  zvp::SimConfig config;
  zvp::SimFaults faults;
  std::string link;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--link" && i + 1 < argc) {
      link = argv[++i];
    } else if (a == "--silent") {
      faults.silent = true;
    } else if (a == "--short" && i + 1 < argc) {
      faults.short_answer = std::atoi(argv[++i]);
    } else if (a == "--unpaced") {
      config.paced = false;
    } else {
      return Usage();
    }
  }

  zvp::SystemClock clock;
  zvp::VirtualProgrammer device(config);
  device.faults() = faults;
  zvp::PtyServer server(&device, &clock);
  if (!server.Open()) {
    std::perror("zvp-sim: cannot open a pseudo-terminal");
    return 1;
  }
  if (!link.empty()) {
    unlink(link.c_str());
    if (symlink(server.path().c_str(), link.c_str()) != 0) {
      std::perror("zvp-sim: cannot create the link");
      return 1;
    }
  }
  std::printf("%s\n", server.path().c_str());
  std::fflush(stdout);

  g_server = &server;
  struct sigaction sa {};
  sa.sa_handler = OnStop;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sa.sa_handler = OnReset;
  sigaction(SIGUSR1, &sa, nullptr);

  auto control = [&](const std::string& line) {
    std::istringstream in(line);
    std::string cmd, arg;
    in >> cmd >> arg;
    if (cmd == "quit") return false;
    if (cmd == "reset") device.SendReset(clock.NowUs());
    if (cmd == "silent") device.faults().silent = (arg != "off");
    if (cmd == "short") device.faults().short_answer = (arg == "off") ? -1 : std::atoi(arg.c_str());
    return true;
  };
  server.Run(STDIN_FILENO, control);
  if (!link.empty()) unlink(link.c_str());
  return 0;
}
