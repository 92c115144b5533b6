#include "sim/sim_port.h"

#include <algorithm>
#include <limits>
#include <sstream>

namespace zvp {

namespace {
// A read with no time-out at all would wait for ever for bytes the model
// will never send; in the model it gives up after this long instead.
constexpr int64_t kEndlessReadCapUs = 60'000'000;
}  // namespace

bool ValidLineDefinition(const std::string& definition) {
  std::istringstream in(definition);
  std::string item;
  int seen = 0;
  while (in >> item) {
    const auto eq = item.find('=');
    if (eq == std::string::npos) return false;
    const std::string key = item.substr(0, eq), value = item.substr(eq + 1);
    if (key == "baud") {
      if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) return false;
    } else if (key == "parity") {
      if (value.size() != 1 || std::string("NEOMSneoms").find(value[0]) == std::string::npos)
        return false;
    } else if (key == "data") {
      if (value != "5" && value != "6" && value != "7" && value != "8") return false;
    } else if (key == "stop") {
      if (value != "1" && value != "1.5" && value != "2") return false;
    } else {
      return false;
    }
    ++seen;
  }
  return seen > 0;
}

SimPort::SimPort(VirtualProgrammer* device, Clock* clock) : device_(device), clock_(clock) {}

bool SimPort::Open(const std::string& name) {
  std::lock_guard<std::mutex> lock(mu_);
  vanished_ = false;
  handle_ = names_.count(name) ? PortHandle::kOpen : PortHandle::kInvalid;
  return handle_ == PortHandle::kOpen;
}

void SimPort::Close() {
  std::lock_guard<std::mutex> lock(mu_);
  handle_ = PortHandle::kNone;
}

bool SimPort::SetupQueues(uint32_t, uint32_t) { return Usable(); }

bool SimPort::Purge() {
  std::lock_guard<std::mutex> lock(mu_);
  if (!Usable()) return false;
  // What already arrived is thrown away; what the device has not sent yet
  // still comes, as on a real line.
  device_->DropArrived(clock_->NowUs());
  return true;
}

bool SimPort::SetLine(const LineSettings& settings) {
  if (!Usable() || !ValidLineDefinition(settings.definition)) return false;
  line_ = settings;
  return true;
}

bool SimPort::SetTimeouts(const CommTimeouts& t) {
  if (!Usable()) return false;
  timeouts_ = t;
  return true;
}

bool SimPort::Write(const uint8_t* buf, uint32_t n, uint32_t* done) {
  *done = 0;
  int64_t start;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!Usable()) return false;
    start = clock_->NowUs();
    for (uint32_t i = 0; i < n; ++i) {
      const int64_t at = paced_ ? start + (i + 1) * kByteTimeUs : start;
      device_->Receive(buf[i], at);
    }
  }
  *done = n;
  // The write returns once the bytes are on the wire, as the comm driver's
  // synchronous write does.
  if (paced_) clock_->SleepUs(static_cast<int64_t>(n) * kByteTimeUs);
  return true;
}

bool SimPort::ReadWaiting(uint8_t* buf, uint32_t n, uint32_t* got) {
  *got = 0;
  std::lock_guard<std::mutex> lock(mu_);
  if (!Usable()) return false;
  const int64_t now = clock_->NowUs();
  while (*got < n && device_->HasOutput() && device_->NextOutputTime() <= now)
    buf[(*got)++] = device_->PopOutput();
  return true;
}

bool SimPort::Read(uint8_t* buf, uint32_t n, uint32_t* got) {
  *got = 0;
  int64_t end;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!Usable()) return false;
    const CommTimeouts& t = timeouts_;
    const int64_t start = clock_->NowUs();
    if (t.read_interval == std::numeric_limits<uint32_t>::max() && t.read_per_byte == 0 &&
        t.read_constant == 0) {
      // "Return at once with what is there."
      while (*got < n && device_->HasOutput() && device_->NextOutputTime() <= start)
        buf[(*got)++] = device_->PopOutput();
      return true;
    }
    const int64_t total_us =
        (static_cast<int64_t>(t.read_per_byte) * n + t.read_constant) * 1000;
    const bool has_total = total_us > 0;
    const int64_t interval_us = static_cast<int64_t>(t.read_interval) * 1000;
    int64_t deadline = has_total ? start + total_us : start + kEndlessReadCapUs;
    int64_t now = start;
    while (*got < n) {
      int64_t limit = deadline;
      if (*got > 0 && interval_us > 0) limit = std::min(limit, now + interval_us);
      if (!device_->HasOutput()) {
        now = limit;
        break;
      }
      const int64_t arrival = std::max(device_->NextOutputTime(), now);
      if (arrival > limit) {
        now = limit;
        break;
      }
      buf[(*got)++] = device_->PopOutput();
      now = arrival;
    }
    end = now;
  }
  clock_->SleepUs(end - clock_->NowUs());
  return true;
}

}  // namespace zvp
