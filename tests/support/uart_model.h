// A UART's transmitter behind PosixSerialPort's transmit calls, in real time,
// as a serial driver over a 16550 runs it. Written bytes join the driver's
// queue (what TIOCOUTQ counts). Whenever the UART's transmit FIFO has
// emptied, the transmit interrupt moves up to a FIFO's worth from the queue
// into it, while the shift register still sends the byte before; the line
// takes one byte every byte_time (573 µs: 19200 baud, 11 bits a byte). The
// transmitter is empty (TEMT) once the FIFO and the shift register are. A
// flush drops the driver's queue; what the UART holds still goes out. A
// pseudo-terminal cannot stand in for this: it reports every byte sent the
// moment it is written.
//
// The line is computed from the clock whenever the model is called, so the
// interrupt is never late. Bytes reach a sink (the benchmarks' device) when
// they enter the UART: on the caller's thread, or on the model's own
// interrupt thread once StartInterrupts has been called, so that they arrive
// on time while the writer sleeps.
#pragma once

#include <errno.h>
#include <termios.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "posix/serial_posix.h"

namespace zvp::test {

class UartModel final : public PosixSerialPort::TransmitCalls {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::nanoseconds kByteTime{1'000'000'000LL * 11 / 19200};
  // Called with the port's descriptor and each batch of bytes as it enters
  // the UART.
  using Sink = std::function<void(int fd, const uint8_t* bytes, size_t n)>;

  // fifo_bytes: the UART's transmit FIFO (16 in a 16550, 1 for a plain
  // holding register).
  explicit UartModel(size_t fifo_bytes = 16, Sink sink = nullptr)
      : fifo_bytes_(std::max<size_t>(fifo_bytes, 1)), sink_(std::move(sink)) {}
  ~UartModel() override {
    {
      std::lock_guard<std::mutex> lock(mu_);
      stop_ = true;
    }
    wake_.notify_all();
    if (interrupts_.joinable()) interrupts_.join();
  }
  UartModel(const UartModel&) = delete;
  UartModel& operator=(const UartModel&) = delete;

  // From now on a thread of the model hands the bytes to the sink at the
  // moments they enter the UART.
  void StartInterrupts() {
    interrupts_ = std::thread([this] { InterruptLoop(); });
  }

  ssize_t Write(int fd, const uint8_t* buf, size_t n) override {
    std::lock_guard<std::mutex> lock(mu_);
    const Clock::time_point now = Clock::now();
    Advance(now);
    fd_ = fd;
    const size_t room = kQueueBytes - queue_.size();
    if (room == 0) {
      errno = EAGAIN;
      return -1;
    }
    const size_t take = n < room ? n : room;
    queue_.insert(queue_.end(), buf, buf + take);
    // An empty FIFO takes the new bytes at once, not when it emptied.
    event_ = now;
    Advance(now);
    wake_.notify_all();
    return static_cast<ssize_t>(take);
  }

  bool OutputBacklog(int, Backlog* backlog) override {
    std::lock_guard<std::mutex> lock(mu_);
    Advance(Clock::now());
    backlog->queued = static_cast<int>(queue_.size());
    backlog->shifting = !uart_.empty();
    return true;
  }

  int Flush(int, int queue_selector) override {
    std::lock_guard<std::mutex> lock(mu_);
    Advance(Clock::now());
    if (queue_selector != TCIFLUSH) queue_.clear();
    return 0;
  }

  // Every byte that has gone out onto the line so far.
  std::vector<uint8_t> Line() {
    std::lock_guard<std::mutex> lock(mu_);
    Advance(Clock::now());
    return line_;
  }
  // What the driver's queue and the UART hold now.
  Backlog Now() {
    Backlog backlog;
    OutputBacklog(-1, &backlog);
    return backlog;
  }
  // From now on the line takes no more bytes, as a wedged adapter would.
  void Stall() {
    std::lock_guard<std::mutex> lock(mu_);
    Advance(Clock::now());
    stalled_ = true;
  }
  // CPU time the interrupt thread has used, in microseconds.
  int64_t InterruptCpuUs() {
    std::lock_guard<std::mutex> lock(mu_);
    return interrupt_cpu_us_;
  }

 private:
  static constexpr size_t kQueueBytes = 4096;  // a serial driver's transmit buffer

  // Runs the line up to now, event by event: a byte leaving the wire, and
  // the interrupt refilling the FIFO once the shift register holds the last
  // byte of the UART.
  void Advance(Clock::time_point now) {
    if (stalled_) return;
    for (;;) {
      if (uart_.size() <= 1 && !queue_.empty()) {
        const size_t take = std::min(fifo_bytes_, queue_.size());
        if (uart_.empty()) head_started_ = event_;
        const size_t from = uart_.size();
        uart_.insert(uart_.end(), queue_.begin(), queue_.begin() + take);
        queue_.erase(queue_.begin(), queue_.begin() + take);
        if (sink_) {
          std::vector<uint8_t> batch(uart_.begin() + from, uart_.end());
          sink_(fd_, batch.data(), batch.size());
        }
        continue;
      }
      if (uart_.empty() || now < head_started_ + kByteTime) return;
      head_started_ += kByteTime;
      event_ = head_started_;
      line_.push_back(uart_.front());
      uart_.pop_front();
    }
  }

  void InterruptLoop() {
    std::unique_lock<std::mutex> lock(mu_);
    while (!stop_) {
      Advance(Clock::now());
      timespec cpu{};
      clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
      interrupt_cpu_us_ = int64_t{cpu.tv_sec} * 1'000'000 + cpu.tv_nsec / 1000;
      if (!stalled_ && !queue_.empty()) {
        // The next refill: when the shift register takes the FIFO's last byte.
        wake_.wait_until(lock, head_started_ + kByteTime * (uart_.size() - 1));
      } else {
        wake_.wait(lock);
      }
    }
  }

  const size_t fifo_bytes_;
  const Sink sink_;
  std::mutex mu_;
  std::condition_variable wake_;
  std::thread interrupts_;
  bool stop_ = false;
  int fd_ = -1;
  std::deque<uint8_t> queue_;  // the driver's queue
  std::deque<uint8_t> uart_;   // FIFO and shift register: the front byte is on the wire
  Clock::time_point head_started_;
  Clock::time_point event_;  // when the last event happened: a byte left, a write came
  std::vector<uint8_t> line_;
  bool stalled_ = false;
  int64_t interrupt_cpu_us_ = 0;
};

}  // namespace zvp::test
