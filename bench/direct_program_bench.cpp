// Times direct programming (debug mode, command 19) of the whole 32 KiB chip
// against the virtual programmer in real time, and compares it with what the
// line itself allows at 19200 baud (11 bits a byte):
//
//   stream bound  the 32768 code bytes alone on the wire;
//   line bound    the PC's own bytes on the wire (header and stream) plus the
//                 three pauses of 50 ms the protocol prescribes (after the
//                 header, inside the start acknowledgement and inside the
//                 verdict); the programmer's answers travel during them.
//
// It also reports the CPU time the PC side used over the wall time, so a
// busy-waiting link would show.
//
//   direct_program_bench [--line simport|uart|pty] [--runs N] [--normal-priority]
//
//   simport  SimPort on the real clock: a write returns once its last byte
//            has left the wire (573 µs a byte), so every wake-up delay of the
//            writing thread leaves the line idle.
//   uart     (default) the same device model, but the PC's bytes go through
//            a model of a UART with a 16-byte transmit FIFO: a write returns
//            once its bytes are in the FIFO, and the line keeps sending
//            meanwhile, as a serial driver over a 16550 does.
//   pty      the device model served on a pseudo-terminal as zvp-sim serves
//            it, the PC on the POSIX serial port with a model of a UART
//            behind its transmit calls (tests/support/uart_model.h): a
//            driver queue that the output-queue count sees, a 16-byte FIFO
//            refilled by the transmit interrupt, a transmitter that is empty
//            once the last byte is off the wire; the device sees each byte
//            when it enters the FIFO. A pseudo-terminal alone has no baud
//            rate.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/cpu_time.h"
#include "core/forwarding_port.h"
#include "chipops/program_chip.h"
#include "image/code_buffer.h"
#include "image/number_text.h"
#include "core/app_state.h"
#include "core/clock.h"
#include "engine/engine.h"
#include "link/operation_header.h"
#include "posix/pty_server.h"
#include "posix/serial_posix.h"
#include "posix/thread_priority_posix.h"
#include "sim/sim_port.h"
#include "sim/virtual_programmer.h"
#include "ui/control_ids.h"
#include "tests/support/uart_model.h"
#include "ui/headless_window.h"
#include "ui/window_choices.h"

namespace {

using zvp::kByteTimeUs;

constexpr uint32_t kFirst = 0x0000;
constexpr uint32_t kLast = 0x7FFF;
constexpr uint32_t kStreamBytes = kLast - kFirst + 1;
constexpr uint32_t kHeaderBytes = 21;
constexpr int64_t kProtocolPausesUs = 3 * 50'000;
constexpr uint32_t kUartFifo = 16;

// The PC's transmitter: bytes leave one every 573 µs from when the line is
// free; a write returns once all but the last `fifo` bytes have left (0: once
// the last one has). With a device the bytes go straight to the model with
// the time each arrives; otherwise to the inner port at once.
class UartPort final : public zvp::ForwardingPort {
 public:
  UartPort(zvp::SerialPort* inner, zvp::Clock* clock, zvp::VirtualProgrammer* device, uint32_t fifo)
      : ForwardingPort(inner), clock_(clock), device_(device), fifo_(fifo) {}
  bool WaitTxEmpty(uint32_t ms) override {
    // The transmitter is empty when the line is free.
    clock_->SleepUs(std::min<int64_t>(line_free_us_ - clock_->NowUs(), ms * 1000LL));
    return inner()->WaitTxEmpty(ms) && clock_->NowUs() >= line_free_us_;
  }
  bool Write(const uint8_t* buf, uint32_t n, uint32_t* done) override {
    *done = 0;
    if (inner()->Handle() != zvp::PortHandle::kOpen) return false;
    const int64_t start = std::max(clock_->NowUs(), line_free_us_);
    bool ok = true;
    if (device_) {
      for (uint32_t i = 0; i < n; ++i) device_->Receive(buf[i], start + (i + 1) * kByteTimeUs);
      *done = n;
    } else {
      ok = inner()->Write(buf, n, done);
    }
    line_free_us_ = start + static_cast<int64_t>(*done) * kByteTimeUs;
    const int64_t in_fifo = std::min<int64_t>(fifo_, *done);
    clock_->SleepUs(line_free_us_ - in_fifo * kByteTimeUs - clock_->NowUs());
    return ok;
  }

 private:
  zvp::Clock* clock_;
  zvp::VirtualProgrammer* device_;
  uint32_t fifo_;
  int64_t line_free_us_ = 0;
};

using zvp::bench::ProcessCpuUs;
using zvp::bench::ThreadCpuUs;

struct Result {
  bool ok = false;
  int64_t wall_us = 0;
  int64_t thread_cpu_us = 0;
  int64_t process_cpu_us = 0;
};

// One programming run over an already installed port; the device's chip is
// checked against the buffer afterwards.
Result ProgramOnce(zvp::VirtualProgrammer* device, zvp::Clock* clock) {
  zvp::AppState& app = zvp::App();
  device->chip().memory.assign(zvp::kSimChipSize, 0xFF);
  zvp::App().choices = zvp::ReadOperatorChoices();
  zvp::BuildOperationHeader(zvp::App().choices);
  Result r;
  const int64_t cpu0 = ThreadCpuUs(), pcpu0 = ProcessCpuUs(), t0 = clock->NowUs();
  zvp::RunOperationNow(zvp::OpProgramChipDirect);
  r.wall_us = clock->NowUs() - t0;
  r.thread_cpu_us = ThreadCpuUs() - cpu0;
  r.process_cpu_us = ProcessCpuUs() - pcpu0;
  r.ok = app.link_fault == 0 && zvp::StatusLine().Status() == "编程成功" &&
         std::equal(device->chip().memory.begin() + kFirst,
                    device->chip().memory.begin() + kLast + 1, app.code_buffer.begin() + kFirst);
  return r;
}

void Report(const std::string& mode, const std::vector<Result>& runs) {
  const double byte_us = static_cast<double>(kByteTimeUs);
  const double stream_bound = kStreamBytes * byte_us;
  const double line_bound = (kStreamBytes + kHeaderBytes) * byte_us + kProtocolPausesUs;
  std::printf("direct programming of %u bytes, %s\n", kStreamBytes, mode.c_str());
  std::printf("  bounds: stream %.3f s, line %.3f s\n", stream_bound / 1e6, line_bound / 1e6);
  for (size_t i = 0; i < runs.size(); ++i) {
    const Result& r = runs[i];
    const double w = static_cast<double>(r.wall_us);
    std::printf(
        "  run %zu: %s %.3f s; over the stream bound %+.2f %%, over the line bound %+.2f %%;"
        " CPU/wall: PC thread %.2f %%, process (without a UART model) %.2f %%\n",
        i + 1, r.ok ? "OK " : "BAD", w / 1e6, (w / stream_bound - 1) * 100,
        (w / line_bound - 1) * 100, 100.0 * static_cast<double>(r.thread_cpu_us) / w,
        100.0 * static_cast<double>(r.process_cpu_us) / w);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string line = "uart";
  int runs = 1;
  bool normal_priority = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--line" && i + 1 < argc) {
      line = argv[++i];
    } else if (a == "--normal-priority") {
      normal_priority = true;
    } else if (a == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      line.clear();
      break;
    }
  }
  if (line != "simport" && line != "uart" && line != "pty") {
    std::fprintf(
        stderr,
        "usage: direct_program_bench [--line simport|uart|pty] [--runs N] [--normal-priority]\n");
    return 2;
  }

  zvp::SystemClock clock;
  zvp::HeadlessWindow window;
  zvp::PosixThreadPriority priority;
  zvp::AppState& app = zvp::App();
  zvp::ResetAppState();
  app.clock = &clock;
  zvp::InstallWindow(&window);
  app.priority = &priority;
  window.SetChecked(zvp::ctl::kChipMtp, true);
  window.SetChecked(zvp::ctl::kVdd50, true);
  window.SetChecked(zvp::ctl::kVpp12, true);
  window.SetChecked(zvp::ctl::kDebugMode, true);
  // Code with no runs of 0xFF, so a byte lost or misplaced shows.
  for (uint32_t a = kFirst; a <= kLast + 8; ++a)
    app.code_buffer[a] = static_cast<uint8_t>((a * 29 + (a >> 8) * 7 + 1) & 0xFF);
  app.range_start = kFirst;
  app.range_end = kLast;
  window.SetText(zvp::ctl::kChecksumBox,
                 zvp::FormatNumber(zvp::BufferChecksum(zvp::App().code_buffer, kFirst, kLast), 16, 4));
  app.port_chosen = 1;
  // The worker's priority, as the engine gives it; without the privilege the
  // request is refused and the run shows what a normal thread gets.
  const bool raised = !normal_priority && priority.RaiseCurrentToTimeCritical();
  std::string mode = raised ? "real-time priority, " : "normal priority, ";

  zvp::VirtualProgrammer device;
  std::vector<Result> results;
  auto run_all = [&] {
    for (int i = 0; i < runs; ++i) results.push_back(ProgramOnce(&device, &clock));
  };
  if (line == "simport") {
    zvp::SimPort port(&device, &clock);
    port.Open("COM1");
    app.port = &port;
    run_all();
    mode += "SimPort pacing (a write returns when its last byte has left)";
  } else if (line == "uart") {
    zvp::SimPort sim(&device, &clock);
    sim.Open("COM1");
    UartPort port(&sim, &clock, &device, kUartFifo);
    app.port = &port;
    run_all();
    mode += "in-process, UART with a 16-byte transmit FIFO";
  } else {
    zvp::PtyServer server(&device, &clock);
    if (!server.Open()) {
      std::perror("cannot open a pseudo-terminal");
      return 1;
    }
    std::thread serve([&] { server.Run(-1, [](const std::string&) { return true; }); });
    zvp::test::UartModel uart(kUartFifo, true);
    zvp::PosixSerialPort port(&uart);
    const bool opened = port.Open(server.path());
    app.port = &port;
    if (opened) {
      for (int i = 0; i < runs; ++i) {
        const int64_t uart0 = uart.InterruptCpuUs();
        results.push_back(ProgramOnce(&device, &clock));
        results.back().process_cpu_us -= uart.InterruptCpuUs() - uart0;
      }
    }
    port.Close();
    server.Stop();
    serve.join();
    if (!opened) {
      std::fprintf(stderr, "cannot open %s\n", server.path().c_str());
      return 1;
    }
    mode += "pseudo-terminal, UART model with a 16-byte transmit FIFO behind the port";
  }
  app.port = nullptr;
  Report(mode, results);
  return std::all_of(results.begin(), results.end(), [](const Result& r) { return r.ok; }) ? 0 : 1;
}
