// zvp-sim: the virtual programmer on a pseudo-terminal. Prints the terminal's
// path as its first line, then serves until interrupted.
//
//   zvp-sim [--link PATH] [--silent] [--short N] [--unpaced]
//           [--no-romok] [--wrong-romok] [--silent-after CMD] [--sum-offset N]
//           [--stop-stream N] [--init-delay MS]
//           [--voltage-error C] [--answer-no CMD] [--silent-at ADDR] [--otp]
//           [--wrong-block-sum] [--differs-at ADDR] [--reset-after CMD] [--seed N]
//
// Lines on standard input steer it while it runs:
//   reset         send the unsolicited "STARRESET"
//   silent on|off answer headers or not
//   short N|off   answer headers with only N bytes
//   new-chip [otp] a new blank chip in the socket (MTP unless otp)
//   chip          print the chip's state: type, protections, sum of its memory
//   dump-chip F   write the chip's 32 KiB to the file F
//   dump-memory F write the programmer memory's first 32 KiB to the file F
//   config        print the offline configuration last written (hex)
//   fault NAME [ARG]  switch one fault on, all others off ("fault none": all
//                 off); NAME is silent, short, silent-after, sum-offset,
//                 voltage-error, answer-no, silent-at, differs-at, reset or
//                 reset-after (restart once the exchange of command CMD is
//                 over, once)
//   random-fault  the same with a fault drawn at random (seeded by --seed);
//                 prints "fault: NAME [ARG]"
//   quit          stop
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>

#include "core/clock.h"
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
  std::fprintf(stderr,
               "usage: zvp-sim [--link PATH] [--silent] [--short N] [--unpaced]\n"
               "               [--no-romok] [--wrong-romok] [--silent-after CMD] [--sum-offset N]\n"
               "               [--stop-stream N] [--init-delay MS]\n"
               "               [--voltage-error C] [--answer-no CMD] [--silent-at ADDR] [--otp]\n"
               "               [--wrong-block-sum] [--differs-at ADDR] [--reset-after CMD]\n"
               "               [--seed N]\n");
  return 2;
}

// One fault of a production run, as the reliability runs draw them: the
// programmer falls silent, reports wrong sums, sees a bad supply voltage,
// refuses a step or restarts. Half the draws are a clean run.
struct Fault {
  std::string name;
  std::string arg;
};

Fault DrawFault(std::mt19937& rng) {
  static const char* const kVoltages[] = {"1", "2", "3", "4"};
  // Commands whose verdict can be "NO": blank check, erase, SMART, read and
  // hardware protection, programming from memory and from the PC.
  static constexpr uint8_t kRefusers[] = {
      zvp::cmd::kBlankCheck,  zvp::cmd::kEraseMtp,           zvp::cmd::kEnableSmart,
      zvp::cmd::kReadProtect, zvp::cmd::kHardwareWriteProtect, zvp::cmd::kProgramFromMemory,
      zvp::cmd::kProgramFromPc};
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  switch (pick(10)) {
    case 0:
      return {"silent", ""};
    case 1:
      return {"sum-offset", "1"};
    case 2:
      return {"voltage-error", kVoltages[pick(4)]};
    case 3:
      return {"answer-no", std::to_string(kRefusers[pick(7)])};
    case 4:
      return {"reset", ""};
    default:
      return {"none", ""};
  }
}

// Switches every fault off, then `f` on; false for a name it does not know.
bool ApplyFault(zvp::VirtualProgrammer& device, const Fault& f, int64_t now_us) {
  zvp::SimFaults faults;
  const char* arg = f.arg.c_str();
  if (f.name == "silent") {
    faults.silent = true;
  } else if (f.name == "short") {
    faults.short_answer = std::atoi(arg);
  } else if (f.name == "silent-after") {
    faults.silent_after_header = std::atoi(arg);
  } else if (f.name == "sum-offset") {
    faults.sum_offset = std::atoi(arg);
  } else if (f.name == "voltage-error") {
    faults.voltage_error = f.arg.empty() ? '?' : f.arg[0];
  } else if (f.name == "answer-no") {
    faults.answer_no = std::atoi(arg);
  } else if (f.name == "reset-after") {
    faults.reset_after = std::atoi(arg);
  } else if (f.name == "silent-at") {
    faults.silent_at_address = static_cast<int>(std::strtol(arg, nullptr, 16));
  } else if (f.name != "none" && f.name != "differs-at" && f.name != "reset") {
    return false;
  }
  device.faults() = faults;
  device.chip().differs_at =
      f.name == "differs-at" ? static_cast<int>(std::strtol(arg, nullptr, 16)) : -1;
  // A restart happens at once: the programmer loses its memory and says so.
  if (f.name == "reset") device.SendReset(now_us);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  zvp::SimConfig config;
  zvp::SimFaults faults;
  std::string link;
  bool otp = false;  // an OTP chip in the socket instead of MTP
  // --differs-at: the chip reads this address (hex) back inverted.
  int differs_at = -1;
  // --seed: where random-fault's draws start (by default the clock).
  unsigned seed = std::random_device{}();
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--link" && i + 1 < argc) {
      link = argv[++i];
    } else if (a == "--silent") {
      faults.silent = true;
    } else if (a == "--short" && i + 1 < argc) {
      faults.short_answer = std::atoi(argv[++i]);
    } else if (a == "--no-romok") {
      faults.no_romok = true;
    } else if (a == "--wrong-romok") {
      faults.wrong_romok = true;
    } else if (a == "--silent-after" && i + 1 < argc) {
      faults.silent_after_header = std::atoi(argv[++i]);
    } else if (a == "--sum-offset" && i + 1 < argc) {
      faults.sum_offset = std::atoi(argv[++i]);
    } else if (a == "--stop-stream" && i + 1 < argc) {
      faults.stop_stream_after = std::atoi(argv[++i]);
    } else if (a == "--init-delay" && i + 1 < argc) {
      config.init_delay_us = std::atoll(argv[++i]) * 1000;
    } else if (a == "--voltage-error" && i + 1 < argc) {
      faults.voltage_error = argv[++i][0];
    } else if (a == "--answer-no" && i + 1 < argc) {
      faults.answer_no = std::atoi(argv[++i]);
    } else if (a == "--silent-at" && i + 1 < argc) {
      faults.silent_at_address = static_cast<int>(std::strtol(argv[++i], nullptr, 16));
    } else if (a == "--wrong-block-sum") {
      faults.wrong_block_sum = true;
    } else if (a == "--reset-after" && i + 1 < argc) {
      faults.reset_after = std::atoi(argv[++i]);
    } else if (a == "--differs-at" && i + 1 < argc) {
      differs_at = static_cast<int>(std::strtol(argv[++i], nullptr, 16));
    } else if (a == "--seed" && i + 1 < argc) {
      seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else if (a == "--otp") {
      otp = true;
    } else if (a == "--unpaced") {
      config.paced = false;
    } else {
      return Usage();
    }
  }

  zvp::SystemClock clock;
  zvp::VirtualProgrammer device(config);
  device.faults() = faults;
  if (otp) device.chip().type = zvp::SimChipType::kOtp;
  device.chip().differs_at = differs_at;
  std::mt19937 rng(seed);
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
    if (cmd == "new-chip") {
      device.chip() = zvp::SimChip{};
      if (arg == "otp") device.chip().type = zvp::SimChipType::kOtp;
      std::printf("new-chip: %s\n", arg == "otp" ? "otp" : "mtp");
      std::fflush(stdout);
    }
    if (cmd == "chip") {
      const zvp::SimChip& c = device.chip();
      unsigned sum = 0;
      for (uint8_t b : c.memory) sum += b;
      std::printf("chip: %s smart=%d read-protect=%d ldc-protect=%d hw-write-protect=%d sum=%04X\n",
                  c.type == zvp::SimChipType::kOtp ? "otp" : "mtp", c.smart, c.read_protect,
                  c.ldc_protect, c.hw_write_protect, sum & 0xFFFF);
      std::fflush(stdout);
    }
    if (cmd == "dump-chip" || cmd == "dump-memory") {
      const std::vector<uint8_t>& bytes =
          cmd == "dump-chip" ? device.chip().memory : device.memory();
      if (FILE* f = std::fopen(arg.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, zvp::kSimChipSize, f);
        std::fclose(f);
      }
      std::printf("%s: %s\n", cmd.c_str(), arg.c_str());
      std::fflush(stdout);
    }
    if (cmd == "config") {
      const auto& configs = device.offline_configs();
      std::printf("config: ");
      if (configs.empty()) std::printf("none");
      for (uint8_t b : configs.empty() ? zvp::VirtualProgrammer::Header{} : configs.back())
        if (!configs.empty()) std::printf("%02X", b);
      std::printf("\n");
      std::fflush(stdout);
    }
    if (cmd == "fault" || cmd == "random-fault") {
      Fault f{arg, ""};
      in >> f.arg;
      if (cmd == "random-fault") f = DrawFault(rng);
      if (ApplyFault(device, f, clock.NowUs())) {
        std::printf("fault: %s%s%s\n", f.name.c_str(), f.arg.empty() ? "" : " ", f.arg.c_str());
      } else {
        std::printf("fault: unknown %s\n", f.name.c_str());
      }
      std::fflush(stdout);
    }
    if (cmd == "silent") device.faults().silent = (arg != "off");
    if (cmd == "short") device.faults().short_answer = (arg == "off") ? -1 : std::atoi(arg.c_str());
    return true;
  };
  server.Run(STDIN_FILENO, control);
  if (!link.empty()) unlink(link.c_str());
  return 0;
}
