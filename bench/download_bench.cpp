// Times the code download (operation 14) of a 32 KiB image into the virtual
// programmer served on a pseudo-terminal in real time, the PC on the POSIX
// serial port with a model of a 19200-baud UART (11 bits a byte) behind its
// transmit calls (tests/support/uart_model.h): a serial driver's queue that
// the output-queue count sees, a 16-byte transmit FIFO refilled by the
// transmit interrupt, and a transmitter that is empty only once the last
// byte is off the wire. The port's writes and its drain see this
// transmitter as they would a real one; the programmer hears each byte when
// it enters the FIFO. The measured time is set against the line's lower
// bound:
//
//   bound = the PC's bytes on the wire (3 headers and the data, 573 µs each)
//         + the pauses the download prescribes (DelayMs: after each header,
//           before each reply's rest, 200, 20 and 500 ms)
//         + what the programmer itself takes beyond those pauses (its erase
//           before "ROMOK", its answers, its summing).
//
// The bound is measured rather than added up: the very same download runs
// against the same device model in virtual time (SimPort and VirtualClock),
// with no wake-up latency and no system call, every reply read the instant
// it is complete. It is given twice: with the programmer hearing each byte
// when it is off the wire, and under a FIFO model (PacedPort), where it
// hears a byte when the byte enters the FIFO, as in the measured runs; the
// goal is measured against the latter. CPU time over wall time is reported
// for the PC's thread and for the whole process (PC and the served
// programmer; the UART model's interrupt thread is left out).
//
//   download_bench [--kib N] [--fifo BYTES] [--runs N] [--normal-priority] [--check]
//
// --check exits 1 unless every run is within 1 % of the bound with the PC's
// thread under 1 % CPU.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/cpu_time.h"
#include "core/forwarding_port.h"
#include "image/code_buffer.h"
#include "image/number_text.h"
#include "core/app_state.h"
#include "core/clock.h"
#include "engine/engine.h"
#include "link/operation_header.h"
#include "link/serial_link.h"
#include "link/wire_trace.h"
#include "posix/pty_server.h"
#include "posix/serial_posix.h"
#include "posix/thread_priority_posix.h"
#include "sim/paced_port.h"
#include "sim/sim_port.h"
#include "sim/virtual_clock.h"
#include "sim/virtual_programmer.h"
#include "ui/control_ids.h"
#include "tests/support/uart_model.h"
#include "ui/headless_window.h"
#include "ui/window_choices.h"

namespace {

using zvp::kByteTimeUs;

using zvp::bench::ProcessCpuUs;
using zvp::bench::ThreadCpuUs;

// Counts the bytes the PC writes.
class CountingPort final : public zvp::ForwardingPort {
 public:
  explicit CountingPort(zvp::SerialPort* inner) : ForwardingPort(inner) {}
  bool Write(const uint8_t* buf, uint32_t n, uint32_t* done) override {
    const bool ok = inner()->Write(buf, n, done);
    bytes += *done;
    return ok;
  }
  uint64_t bytes = 0;
};

// Sums the pauses DelayMs reports through the trace.
struct PauseCounter {
  int64_t total_us = 0;
  void Line(const std::string& line) {
    const size_t at = line.find(" DELAY ");
    if (at != std::string::npos) total_us += std::stoll(line.substr(at + 7)) * 1000;
  }
};

struct Run {
  bool ok = false;
  int64_t wall_us = 0;
  int64_t pauses_us = 0;
  uint64_t bytes = 0;
  int64_t thread_cpu_us = 0;
  int64_t process_cpu_us = 0;
  std::string status;
};

// One download over the installed port and clock.
Run DownloadOnce(zvp::Clock* clock, zvp::VirtualProgrammer* device) {
  zvp::AppState& app = zvp::App();
  PauseCounter pauses;
  zvp::WireTrace trace(clock, [&](const std::string& line) { pauses.Line(line); });
  app.trace = &trace;
  app.memory_loaded = 0;
  zvp::App().choices = zvp::ReadOperatorChoices();
  zvp::BuildOperationHeader(zvp::App().choices);  // as StartOperation does
  Run r;
  const int64_t cpu0 = ThreadCpuUs(), pcpu0 = ProcessCpuUs(), t0 = clock->NowUs();
  zvp::RunOperationNow(zvp::OpDownloadCode);
  r.wall_us = clock->NowUs() - t0;
  r.thread_cpu_us = ThreadCpuUs() - cpu0;
  r.process_cpu_us = ProcessCpuUs() - pcpu0;
  app.trace = nullptr;
  r.pauses_us = pauses.total_us;
  r.status = zvp::StatusLine().Status();
  const uint32_t end = app.range_end;
  r.ok = app.link_fault == 0 && app.memory_loaded == 1 &&
         std::equal(device->memory().begin(), device->memory().begin() + end + 1,
                    app.code_buffer.begin());
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t kib = 32;
  uint32_t fifo = 16;
  int runs = 1;
  bool normal_priority = false;
  bool check = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--kib" && i + 1 < argc) {
      kib = static_cast<uint32_t>(std::atoi(argv[++i]));
    } else if (a == "--fifo" && i + 1 < argc) {
      fifo = static_cast<uint32_t>(std::atoi(argv[++i]));
    } else if (a == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--normal-priority") {
      normal_priority = true;
    } else if (a == "--check") {
      check = true;
    } else {
      kib = 0;
      break;
    }
  }
  if (kib == 0 || kib > 32) {
    std::fprintf(stderr,
                 "usage: download_bench [--kib 1..32] [--fifo BYTES] [--runs N] "
                 "[--normal-priority] [--check]\n");
    return 2;
  }

  // The image: random code without 0xFF at either end, so all of it is sent.
  const uint32_t size = kib * 1024;
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("zvp_download_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::filesystem::path file = dir / "code.bin";
  {
    std::mt19937 random(12345);
    std::vector<char> image(size);
    for (char& c : image) c = static_cast<char>(random() % 255);
    std::ofstream(file, std::ios::binary).write(image.data(), size);
  }

  zvp::HeadlessWindow window;
  zvp::PosixThreadPriority priority;
  zvp::AppState& app = zvp::App();
  zvp::ResetAppState();
  zvp::InstallWindow(&window);
  window.SetChecked(zvp::ctl::kChipMtp, true);
  window.SetChecked(zvp::ctl::kVdd50, true);
  window.SetChecked(zvp::ctl::kVppVcc, true);
  window.SetText(zvp::ctl::kFileBox, file.string());

  // The bounds: the same download in virtual time, with no wake-up latency
  // and no system call. "wire": the programmer hears each byte when it is
  // off the wire; "model": the PC's transmitter as PacedPort models it, the
  // programmer hearing each byte when it enters the FIFO, as in the measured
  // runs (a few milliseconds earlier at the headers).
  auto virtual_run = [&](bool fifo_model) {
    zvp::VirtualClock clock;
    zvp::VirtualProgrammer device;
    zvp::SimPort sim(&device, &clock);
    sim.SetPaced(!fifo_model);
    CountingPort counting(&sim);
    zvp::PacedPort paced(&sim, &clock, kByteTimeUs, fifo);
    zvp::SerialPort* port = fifo_model ? static_cast<zvp::SerialPort*>(&paced) : &counting;
    port->Open("COM1");
    app.clock = &clock;
    app.port = port;
    Run r = DownloadOnce(&clock, &device);
    r.bytes = fifo_model ? paced.bytes_written() : counting.bytes;
    return r;
  };
  const Run wire = virtual_run(false);
  const Run ideal = virtual_run(true);
  if (!wire.ok || !ideal.ok) {
    std::fprintf(stderr, "the virtual-time download failed: %s\n", ideal.status.c_str());
    return 1;
  }

  // The real thing: the worker's priority as the engine gives it (refused
  // without the privilege), the programmer on a pseudo-terminal.
  const bool raised = !normal_priority && priority.RaiseCurrentToTimeCritical();
  zvp::SystemClock clock;
  zvp::VirtualProgrammer device;
  zvp::PtyServer server(&device, &clock);
  if (!server.Open()) {
    std::perror("cannot open a pseudo-terminal");
    return 1;
  }
  std::thread serve([&] { server.Run(-1, [](const std::string&) { return true; }); });
  // The programmer hears the bytes as they enter the UART's FIFO.
  zvp::test::UartModel uart(fifo, true);
  zvp::PosixSerialPort serial(&uart);
  serial.MapName("COM1", server.path());
  CountingPort port(&serial);
  app.clock = &clock;
  app.port = &port;
  std::vector<Run> results;
  if (zvp::OpenPort("COM1", zvp::ReadOperatorChoices())) {
    for (int i = 0; i < runs; ++i) {
      const uint64_t before = port.bytes;
      const int64_t uart_cpu0 = uart.InterruptCpuUs();
      Run r = DownloadOnce(&clock, &device);
      r.bytes = port.bytes - before;
      r.process_cpu_us -= uart.InterruptCpuUs() - uart_cpu0;
      results.push_back(r);
    }
  } else {
    std::fprintf(stderr, "no answer on %s\n", server.path().c_str());
  }
  port.Close();
  server.Stop();
  serve.join();
  app.port = nullptr;
  app.clock = nullptr;
  zvp::InstallWindow(nullptr);
  std::filesystem::remove_all(dir);
  if (results.empty()) return 1;

  const double wire_us = static_cast<double>(wire.bytes) * kByteTimeUs;
  const double wire_bound_us = static_cast<double>(wire.wall_us);
  const double bound_us = static_cast<double>(ideal.wall_us);
  std::printf(
      "download of %u bytes over a pseudo-terminal, a 19200-baud UART model behind the port (%s, %u-byte FIFO)\n", size,
      raised ? "real-time priority" : "normal priority", fifo);
  std::printf("  wire bound %.3f s = the PC's bytes on the wire %.3f s (%llu bytes)\n",
              wire_bound_us / 1e6, wire_us / 1e6, static_cast<unsigned long long>(wire.bytes));
  std::printf("                     + prescribed pauses %.3f s\n", wire.pauses_us / 1e6);
  std::printf(
      "                     + the programmer's own time %.3f s (its erase %.3f s, its "
      "answers, its summing)\n",
      (wire_bound_us - wire_us - static_cast<double>(wire.pauses_us)) / 1e6,
      static_cast<double>(zvp::SimConfig{}.init_delay_us) / 1e6);
  std::printf(
      "  bound of the FIFO model %.3f s (%+.3f s: the programmer hears bytes as they enter "
      "the FIFO)\n",
      bound_us / 1e6, (bound_us - wire_bound_us) / 1e6);
  bool met = true;
  for (size_t i = 0; i < results.size(); ++i) {
    const Run& r = results[i];
    const double w = static_cast<double>(r.wall_us);
    const double over = (w / bound_us - 1) * 100;
    const double pc_cpu = 100.0 * static_cast<double>(r.thread_cpu_us) / w;
    const double all_cpu = 100.0 * static_cast<double>(r.process_cpu_us) / w;
    std::printf(
        "  run %zu: %s %.3f s, %+.2f %% over the model's bound (%+.2f %% over the wire bound); "
        "CPU/wall: PC thread %.2f %%, process (PC and programmer) %.2f %%; %s\n",
        i + 1, r.ok ? "OK " : "BAD", w / 1e6, over, (w / wire_bound_us - 1) * 100, pc_cpu, all_cpu,
        r.status.c_str());
    met = met && r.ok && r.bytes == ideal.bytes && over < 1.0 && pc_cpu < 1.0;
  }
  if (!check)
    return std::all_of(results.begin(), results.end(), [](const Run& r) { return r.ok; }) ? 0 : 1;
  return met ? 0 : 1;
}
