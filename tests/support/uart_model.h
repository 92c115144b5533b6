// A UART's transmitter behind PosixSerialPort's transmit calls, in real time,
// as a serial driver over a 16550 runs it. Written bytes join the driver's
// queue (what TIOCOUTQ counts). Whenever the UART's transmit FIFO has
// emptied, the transmit interrupt moves up to a FIFO's worth from the queue
// into it, while the shift register still sends the byte before; a write
// that finds the FIFO empty fills it at once, as the driver's write does.
// The line takes one byte every byte_time (573 µs: 19200 baud, 11 bits a
// byte). The transmitter is empty (TEMT) once the FIFO and the shift
// register are. A flush drops the driver's queue; what the UART holds still
// goes out. A pseudo-terminal cannot stand in for this: it reports every
// byte sent the moment it is written.
//
// The line is computed from the clock whenever the model is called, so what
// a caller sees never depends on when the model's thread last ran. With
// `deliver`, the bytes also reach the device: the model's interrupt thread
// writes each batch to the port's descriptor (a pseudo-terminal's slave)
// when it enters the UART, so the device hears them while the writer
// sleeps. That thread stands for the hardware and the interrupt handler:
// the benchmarks leave its CPU time out. Each transmit call costs the
// caller one system call on the descriptor, as the driver's own would.
#pragma once

#include <errno.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "posix/serial_posix.h"

namespace zvp::test {

class UartModel final : public PosixSerialPort::TransmitCalls {
  // The model's state is held for a few hundred nanoseconds at a time. The
  // writer and the interrupt thread wake at the same moments (when the FIFO
  // runs empty), and a sleeping lock would charge the writer a context
  // switch on every such meeting that the driver's spin lock never costs.
  class SpinLock {
   public:
    void lock() {
      while (held_.exchange(true, std::memory_order_acquire)) std::this_thread::yield();
    }
    void unlock() { held_.store(false, std::memory_order_release); }

   private:
    std::atomic<bool> held_{false};
  };

 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::nanoseconds kByteTime{1'000'000'000LL * 11 / 19200};

  // fifo_bytes: the UART's transmit FIFO (16 in a 16550, 1 for a plain
  // holding register).
  explicit UartModel(size_t fifo_bytes = 16, bool deliver = false)
      : fifo_bytes_(std::max<size_t>(fifo_bytes, 1)), deliver_(deliver) {
    if (deliver_) interrupts_ = std::thread([this] { InterruptLoop(); });
  }
  ~UartModel() override {
    {
      std::lock_guard<SpinLock> lock(mu_);
      stop_ = true;
    }
    wake_.notify_all();
    if (interrupts_.joinable()) interrupts_.join();
  }
  UartModel(const UartModel&) = delete;
  UartModel& operator=(const UartModel&) = delete;

  ssize_t Write(int fd, const uint8_t* buf, size_t n) override {
    SystemCallCost(fd);
    std::lock_guard<SpinLock> lock(mu_);
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
    // An idle UART takes the new bytes now, not when it went idle.
    event_ = now;
    Advance(now);
    // The interrupt thread sleeps until the FIFO empties; only bytes that
    // went into an idle UART are news to it.
    if (!pending_.empty()) wake_.notify_all();
    seen_ = Held();
    return static_cast<ssize_t>(take);
  }

  bool OutputBacklog(int fd, Backlog* backlog) override {
    SystemCallCost(fd);
    std::lock_guard<SpinLock> lock(mu_);
    Advance(Clock::now());
    *backlog = seen_ = Held();
    return true;
  }

  int Flush(int fd, int queue_selector) override {
    SystemCallCost(fd);
    std::lock_guard<SpinLock> lock(mu_);
    Advance(Clock::now());
    if (queue_selector != TCIFLUSH) queue_.clear();
    seen_ = Held();
    return 0;
  }

  // Every byte that has gone out onto the line so far.
  std::vector<uint8_t> Line() {
    std::lock_guard<SpinLock> lock(mu_);
    Advance(Clock::now());
    return line_;
  }
  // What the driver's queue and the UART hold now.
  Backlog Now() {
    std::lock_guard<SpinLock> lock(mu_);
    Advance(Clock::now());
    return Held();
  }
  // What they held right after the port's last transmit call: what the port
  // saw last before it returned, whenever the caller gets to look.
  Backlog Seen() {
    std::lock_guard<SpinLock> lock(mu_);
    return seen_;
  }
  // From now on the line takes no more bytes, as a wedged adapter would.
  void Stall() {
    std::lock_guard<SpinLock> lock(mu_);
    Advance(Clock::now());
    stalled_ = true;
  }
  // CPU time the interrupt thread has used, in microseconds.
  int64_t InterruptCpuUs() {
    std::lock_guard<SpinLock> lock(mu_);
    return interrupt_cpu_us_;
  }

 private:
  static constexpr size_t kQueueBytes = 4096;  // a serial driver's transmit buffer

  // The driver's calls are system calls; the model's are not. A harmless
  // one on the same descriptor keeps the caller's CPU time honest.
  static void SystemCallCost(int fd) {
    int ignored = 0;
    ioctl(fd, TIOCOUTQ, &ignored);
  }

  Backlog Held() const {
    Backlog backlog;
    backlog.queued = static_cast<int>(queue_.size());
    backlog.shifting = !uart_.empty();
    return backlog;
  }

  // Runs the line up to now, event by event: a byte leaving the wire, and
  // the interrupt refilling the FIFO once the shift register holds the last
  // byte of the UART.
  void Advance(Clock::time_point now) {
    if (stalled_) return;
    for (;;) {
      if (uart_.size() <= 1 && !queue_.empty()) {
        const size_t take = std::min(fifo_bytes_, queue_.size());
        if (uart_.empty()) head_started_ = event_;
        uart_.insert(uart_.end(), queue_.begin(), queue_.begin() + take);
        if (deliver_) pending_.insert(pending_.end(), queue_.begin(), queue_.begin() + take);
        queue_.erase(queue_.begin(), queue_.begin() + take);
        continue;
      }
      if (uart_.empty() || now < head_started_ + kByteTime) return;
      head_started_ += kByteTime;
      event_ = head_started_;
      line_.push_back(uart_.front());
      uart_.pop_front();
    }
  }

  // Hands the bytes to the device as they enter the UART. It wakes when the
  // FIFO empties while the line is busy, as the transmit interrupt does,
  // and when a write fills an idle UART.
  void InterruptLoop() {
    std::unique_lock<SpinLock> lock(mu_);
    std::vector<uint8_t> batch;
    while (!stop_) {
      Advance(Clock::now());
      if (!pending_.empty()) {
        batch.assign(pending_.begin(), pending_.end());
        pending_.clear();
        const int fd = fd_;
        lock.unlock();
        WriteAll(fd, batch);
        lock.lock();
        continue;
      }
      timespec cpu{};
      clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
      interrupt_cpu_us_ = int64_t{cpu.tv_sec} * 1'000'000 + cpu.tv_nsec / 1000;
      if (!stalled_ && uart_.size() > 1) {
        // When the shift register takes the FIFO's last byte.
        wake_.wait_until(lock, head_started_ + kByteTime * (uart_.size() - 1));
      } else {
        wake_.wait(lock);
      }
    }
  }

  // A pseudo-terminal takes some 20 KB before it blocks; a device that has
  // gone takes nothing, and the run that follows says so.
  static void WriteAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t k = write(fd, bytes.data() + done, bytes.size() - done);
      if (k > 0) {
        done += static_cast<size_t>(k);
      } else if (k < 0 && (errno == EAGAIN || errno == EINTR)) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      } else {
        return;
      }
    }
  }

  const size_t fifo_bytes_;
  const bool deliver_;
  SpinLock mu_;
  std::condition_variable_any wake_;
  std::thread interrupts_;
  bool stop_ = false;
  int fd_ = -1;
  std::deque<uint8_t> queue_;    // the driver's queue
  std::deque<uint8_t> uart_;     // FIFO and shift register: the front byte is on the wire
  std::deque<uint8_t> pending_;  // entered the UART, not yet handed to the device
  Clock::time_point head_started_;
  Clock::time_point event_;  // when the last event happened: a byte left, a write came
  std::vector<uint8_t> line_;
  bool stalled_ = false;
  Backlog seen_;
  int64_t interrupt_cpu_us_ = 0;
};

}  // namespace zvp::test
