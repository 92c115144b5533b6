// A UART's transmitter behind PosixSerialPort's transmit calls, in real time.
// Written bytes join the transmit queue, and the line takes one every
// byte_time (573 µs: 19200 baud, 11 bits a byte). The byte on the wire is in
// the shift register and goes out whatever happens; a flush drops the rest,
// as tcflush drops a serial driver's queue. A pseudo-terminal cannot stand in
// for this: it reports every byte sent the moment it is written.
#pragma once

#include <errno.h>
#include <termios.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

#include "posix/serial_posix.h"

namespace zvp::test {

class UartModel final : public PosixSerialPort::TransmitCalls {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::nanoseconds kByteTime{1'000'000'000LL * 11 / 19200};

  ssize_t Write(int, const uint8_t* buf, size_t n) override {
    Advance();
    if (queue_.empty()) head_started_ = Clock::now();
    const size_t room = kQueueBytes - queue_.size();
    if (room == 0) {
      errno = EAGAIN;
      return -1;
    }
    const size_t take = n < room ? n : room;
    queue_.insert(queue_.end(), buf, buf + take);
    return static_cast<ssize_t>(take);
  }

  bool OutputBacklog(int, Backlog* backlog) override {
    Advance();
    backlog->shifting = !queue_.empty();
    backlog->queued = queue_.empty() ? 0 : static_cast<int>(queue_.size() - 1);
    return true;
  }

  int Flush(int, int queue_selector) override {
    Advance();
    if (queue_selector != TCIFLUSH && queue_.size() > 1) queue_.resize(1);
    return 0;
  }

  // Every byte that has gone out onto the line so far.
  const std::vector<uint8_t>& Line() {
    Advance();
    return line_;
  }
  // From now on the line takes no more bytes, as a wedged adapter would.
  void Stall() {
    Advance();
    stalled_ = true;
  }

 private:
  static constexpr size_t kQueueBytes = 4096;  // a serial driver's transmit buffer

  void Advance() {
    if (stalled_) return;
    const Clock::time_point now = Clock::now();
    while (!queue_.empty() && now >= head_started_ + kByteTime) {
      line_.push_back(queue_.front());
      queue_.pop_front();
      head_started_ += kByteTime;
    }
  }

  std::deque<uint8_t> queue_;  // the front byte is in the shift register
  Clock::time_point head_started_;
  std::vector<uint8_t> line_;
  bool stalled_ = false;
};

}  // namespace zvp::test
