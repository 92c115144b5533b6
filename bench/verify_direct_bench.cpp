// Times the debug-mode verify (VerifyChipDirect: one block read of the chip,
// command 10, per 256 bytes) over the whole 32 KiB chip against the virtual
// programmer paced at 19200 baud, and compares it with what the protocol
// itself costs (11 bits a byte, 573 µs):
//
//   serial bound   every block's cost laid end to end: the 21 header bytes
//                  written, the 50 ms pause after the header, the first byte
//                  and the 50 ms pause of the start acknowledgement, the n
//                  data bytes, the first byte and the 50 ms pause of the sum;
//                  plus the 200 ms wait once. The header answer and the
//                  second byte of each reply travel during the pauses.
//   overlap bound  the same, but the data travel while the PC pauses inside
//                  the acknowledgement (the programmer sends them without a
//                  pause of its own): header written, 50 ms, then everything
//                  the programmer sends back to back (answer, acknowledgement,
//                  data, sum), then the sum's 50 ms pause.
//
// It also reports the CPU time over the wall time, so a busy-waiting read
// would show.
//
//   verify_direct_bench [--line simport|pty|virtual] [--runs N]
//
//   simport  (default) SimPort on the real clock, in process.
//   pty      the device model served on a pseudo-terminal as zvp-sim serves
//            it, the PC on the POSIX serial port.
//   virtual  SimPort on the virtual clock: the time the protocol takes, at
//            no cost (a check of the bounds, not a measurement).
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/cpu_time.h"
#include "chipops/verify_chip.h"
#include "core/app_state.h"
#include "core/clock.h"
#include "link/operation_header.h"
#include "posix/pty_server.h"
#include "posix/serial_posix.h"
#include "posix/thread_priority_posix.h"
#include "sim/sim_port.h"
#include "sim/virtual_clock.h"
#include "sim/virtual_programmer.h"
#include "ui/control_ids.h"
#include "ui/headless_window.h"
#include "ui/window_choices.h"

namespace {

using zvp::kByteTimeUs;

constexpr uint32_t kFirst = 0x0000;
constexpr uint32_t kLast = 0x7FFF;
constexpr uint32_t kBlock = 256;
constexpr uint32_t kBlocks = (kLast - kFirst + 1) / kBlock;
constexpr int64_t kHeaderBytes = 21;
constexpr int64_t kPauseUs = 50'000;
constexpr int64_t kFirstWaitUs = 200'000;

using zvp::bench::ProcessCpuUs;
using zvp::bench::ThreadCpuUs;

struct Result {
  bool ok = false;
  int64_t wall_us = 0;
  int64_t thread_cpu_us = 0;
  int64_t process_cpu_us = 0;
};

Result VerifyOnce(zvp::Clock* clock) {
  zvp::AppState& app = zvp::App();
  zvp::App().choices = zvp::ReadOperatorChoices();
  zvp::BuildOperationHeader(zvp::App().choices);
  Result r;
  const int64_t cpu0 = ThreadCpuUs(), pcpu0 = ProcessCpuUs(), t0 = clock->NowUs();
  zvp::VerifyChipDirect();
  r.wall_us = clock->NowUs() - t0;
  r.thread_cpu_us = ThreadCpuUs() - cpu0;
  r.process_cpu_us = ProcessCpuUs() - pcpu0;
  r.ok = app.link_fault == 0 && zvp::StatusLine().Status() == "校验芯片成功";
  return r;
}

void Report(const std::string& mode, const std::vector<Result>& runs, bool cpu) {
  const double b = static_cast<double>(kByteTimeUs);
  const double serial = kFirstWaitUs + kBlocks * ((kHeaderBytes + kBlock + 2) * b + 3 * kPauseUs);
  // Back to back from the programmer: 1 ms latency, the 21-byte answer, 2,
  // 256 and 2 bytes; the header goes out first and the sum's pause comes last.
  const double overlap = kFirstWaitUs + kBlocks * (kHeaderBytes * b + 1000 +
                                                   (kHeaderBytes + 2 + kBlock + 1) * b + kPauseUs);
  std::printf("VerifyChipDirect over %05X-%05X (%u blocks of %u bytes), %s\n", kFirst, kLast,
              kBlocks, kBlock, mode.c_str());
  std::printf("  bounds: serial %.3f s, overlap %.3f s\n", serial / 1e6, overlap / 1e6);
  for (size_t i = 0; i < runs.size(); ++i) {
    const Result& r = runs[i];
    const double w = static_cast<double>(r.wall_us);
    std::printf("  run %zu: %s %.3f s = %.3f x serial bound, %.3f x overlap bound", i + 1,
                r.ok ? "OK " : "BAD", w / 1e6, w / serial, w / overlap);
    if (cpu) {
      std::printf("; CPU/wall: PC thread %.2f %%, process %.2f %%",
                  100.0 * static_cast<double>(r.thread_cpu_us) / w,
                  100.0 * static_cast<double>(r.process_cpu_us) / w);
    }
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string line = "simport";
  int runs = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--line" && i + 1 < argc) {
      line = argv[++i];
    } else if (a == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      line.clear();
      break;
    }
  }
  if (line != "simport" && line != "pty" && line != "virtual") {
    std::fprintf(stderr, "usage: verify_direct_bench [--line simport|pty|virtual] [--runs N]\n");
    return 2;
  }

  zvp::SystemClock system_clock;
  zvp::VirtualClock virtual_clock;
  zvp::Clock* clock = line == "virtual" ? static_cast<zvp::Clock*>(&virtual_clock) : &system_clock;
  zvp::HeadlessWindow window;
  zvp::PosixThreadPriority priority;
  zvp::AppState& app = zvp::App();
  zvp::ResetAppState();
  app.clock = clock;
  zvp::InstallWindow(&window);
  app.priority = &priority;
  window.SetChecked(zvp::ctl::kChipMtp, true);
  window.SetChecked(zvp::ctl::kVdd50, true);
  window.SetChecked(zvp::ctl::kVpp12, true);
  window.SetChecked(zvp::ctl::kDebugMode, true);
  app.range_start = kFirst;
  app.range_end = kLast;
  app.port_chosen = 1;
  // As the engine runs its workers; refused without the privilege.
  const bool raised = priority.RaiseCurrentToTimeCritical();
  std::string mode = raised ? "real-time priority, " : "normal priority, ";

  // A chip with no runs of one value, and the same code in the buffer, so
  // every byte is compared and the verify passes only if all arrive intact.
  zvp::VirtualProgrammer device;
  for (uint32_t a = kFirst; a <= kLast; ++a) {
    const auto b = static_cast<uint8_t>((a * 29 + (a >> 8) * 7 + 1) & 0xFF);
    device.chip().memory[a] = b;
    app.code_buffer[a] = b;
  }

  std::vector<Result> results;
  auto run_all = [&] {
    for (int i = 0; i < runs; ++i) results.push_back(VerifyOnce(clock));
  };
  if (line != "pty") {
    zvp::SimPort port(&device, clock);
    port.Open("COM1");
    app.port = &port;
    run_all();
    mode += line == "virtual" ? "SimPort, virtual clock" : "SimPort, real clock";
  } else {
    zvp::PtyServer server(&device, &system_clock);
    if (!server.Open()) {
      std::perror("cannot open a pseudo-terminal");
      return 1;
    }
    std::thread serve([&] { server.Run(-1, [](const std::string&) { return true; }); });
    zvp::PosixSerialPort serial;
    const bool opened = serial.Open(server.path());
    app.port = &serial;
    if (opened) run_all();
    server.Stop();
    serve.join();
    if (!opened) {
      std::fprintf(stderr, "cannot open %s\n", server.path().c_str());
      return 1;
    }
    mode += "pseudo-terminal";
  }
  app.port = nullptr;
  Report(mode, results, line != "virtual");
  return std::all_of(results.begin(), results.end(), [](const Result& r) { return r.ok; }) ? 0 : 1;
}
