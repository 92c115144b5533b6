#include "sim/paced_port.h"

#include <algorithm>

namespace zvp {

PacedPort::PacedPort(SerialPort* inner, Clock* clock, int64_t byte_us, uint32_t fifo_bytes,
                     uint32_t wake_bytes)
    : ForwardingPort(inner),
      clock_(clock),
      byte_us_(byte_us),
      fifo_us_(byte_us * fifo_bytes),
      wake_us_(byte_us * std::min(wake_bytes, fifo_bytes)) {}

bool PacedPort::Open(const std::string& name) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    line_free_us_ = 0;
  }
  return inner()->Open(name);
}

bool PacedPort::Purge() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    line_free_us_ = std::min(line_free_us_, clock_->NowUs());
  }
  return inner()->Purge();
}

bool PacedPort::WaitTxEmpty(uint32_t timeout_ms) {
  int64_t free_at;
  {
    std::lock_guard<std::mutex> lock(mu_);
    free_at = line_free_us_;
  }
  const int64_t limit_us = static_cast<int64_t>(timeout_ms) * 1000;
  const int64_t wait = free_at - clock_->NowUs();
  if (wait > limit_us) {
    clock_->SleepUs(limit_us);
    return false;
  }
  if (wait > 0) clock_->SleepUs(wait);
  return inner()->WaitTxEmpty(timeout_ms);
}

bool PacedPort::Write(const uint8_t* buf, uint32_t n, uint32_t* done) {
  int64_t start, wake;
  {
    std::lock_guard<std::mutex> lock(mu_);
    const int64_t now = clock_->NowUs();
    // The bytes follow what the FIFO still holds, or start now on an idle
    // line.
    start = std::max(now, line_free_us_);
    const int64_t end = start + static_cast<int64_t>(n) * byte_us_;
    // Room for all of them: the write is done at once. Otherwise the last
    // byte goes in when there is room for it, and the writer is woken when
    // the FIFO is down to its wake level, which is no earlier.
    wake = end - now <= fifo_us_ ? now : end - wake_us_;
    line_free_us_ = end;
  }
  const int64_t wait = wake - clock_->NowUs();
  if (wait > 0) clock_->SleepUs(wait);
  const bool ok = inner()->Write(buf, n, done);
  std::lock_guard<std::mutex> lock(mu_);
  const int64_t took = static_cast<int64_t>(*done) * byte_us_;
  line_free_us_ = start + took;  // bytes the port refused never went out
  bytes_ += *done;
  busy_us_ += took;
  return ok;
}

uint64_t PacedPort::bytes_written() const {
  std::lock_guard<std::mutex> lock(mu_);
  return bytes_;
}

int64_t PacedPort::line_busy_us() const {
  std::lock_guard<std::mutex> lock(mu_);
  return busy_us_;
}

}  // namespace zvp
