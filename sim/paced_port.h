// A serial port that writes at the pace of the programmer's line. A
// pseudo-terminal takes some 20 KB from the writer without blocking, so a
// program talking to zvp-sim would otherwise stream a download far faster
// than the 19200-baud line can carry it. Wrapped around the port, this
// decorator models the PC's transmitter: a UART whose transmit FIFO empties
// onto the line at 11 bits a byte. A write goes into the FIFO at once while
// there is room; otherwise the writer is woken, as a driver's transmit
// interrupt wakes it, once the FIFO has drained to its wake level, with the
// last bytes still going out so that the line does not fall idle while the
// writer comes back. Bytes reach the device when they enter the FIFO.
#pragma once

#include <cstdint>
#include <mutex>

#include "core/clock.h"
#include "core/forwarding_port.h"

namespace zvp {

class PacedPort final : public ForwardingPort {
 public:
  // byte_us: the time of one byte on the line (573 at 19200 baud, 11 bits);
  // fifo_bytes: the transmit FIFO (16 in a 16550 UART); wake_bytes: how full
  // the FIFO still is when a waiting writer is woken (at most fifo_bytes).
  PacedPort(SerialPort* inner, Clock* clock, int64_t byte_us = 573, uint32_t fifo_bytes = 16,
            uint32_t wake_bytes = 4);

  bool Open(const std::string& name) override;
  // Also throws away what the FIFO still holds.
  bool Purge() override;
  // The transmitter is empty once the last byte written is off the line.
  bool WaitTxEmpty(uint32_t timeout_ms) override;
  bool Write(const uint8_t* buf, uint32_t n, uint32_t* done) override;

  // Bytes written so far, and the time the line was sending them.
  uint64_t bytes_written() const;
  int64_t line_busy_us() const;

 private:
  Clock* clock_;
  const int64_t byte_us_;
  const int64_t fifo_us_;  // a full FIFO's time on the line
  const int64_t wake_us_;  // the FIFO's time on the line at the wake level
  mutable std::mutex mu_;
  int64_t line_free_us_ = 0;  // when the last byte written is off the line
  uint64_t bytes_ = 0;
  int64_t busy_us_ = 0;
};

}  // namespace zvp
