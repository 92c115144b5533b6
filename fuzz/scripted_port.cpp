#include "fuzz/scripted_port.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/app_state.h"

namespace zvp::fuzz {

namespace {
// One byte at 19200 baud with 11 bits.
constexpr int64_t kByteUs = 573;
constexpr uint32_t kMaxDword = std::numeric_limits<uint32_t>::max();
}  // namespace

void ScriptedPort::Load(const uint8_t* script, size_t size, PortEvent event, uint32_t at_call,
                        bool opens) {
  script_ = script;
  size_ = size;
  next_ = 0;
  event_ = event;
  event_call_ = at_call;
  opens_ = opens;
  handle_ = PortHandle::kNone;
  vanished_ = false;
  writes_stall_ = false;
  timeouts_ = CommTimeouts{};
  calls_ = 0;
}

void ScriptedPort::NeverEnds(const char* what) const {
  std::fprintf(stderr, "reply_fuzz: operation '%s' never ends: %s (after %llu port calls)\n",
               label_.c_str(), what, static_cast<unsigned long long>(calls_));
  std::abort();
}

bool ScriptedPort::Call() {
  ++calls_;
  if (calls_ > kCallLimit) NeverEnds("it keeps calling the port");
  if (calls_ == event_call_) {
    switch (event_) {
      case PortEvent::kVanish:
        vanished_ = true;
        break;
      case PortEvent::kUserStop:
        // The window sets this flag from the UI thread while the worker
        // talks to the port.
        App().user_abort = 1;
        break;
      case PortEvent::kWritesStall:
        writes_stall_ = true;
        break;
      case PortEvent::kNone:
        break;
    }
  }
  return Usable();
}

bool ScriptedPort::Open(const std::string&) {
  Call();
  // Whatever happened to the device before, opening the port finds it anew
  // (an adapter plugged back in); a port that does not exist never opens.
  vanished_ = false;
  writes_stall_ = false;
  timeouts_ = CommTimeouts{};
  handle_ = opens_ ? PortHandle::kOpen : PortHandle::kInvalid;
  return opens_;
}

void ScriptedPort::Close() {
  Call();
  handle_ = PortHandle::kNone;
}

bool ScriptedPort::SetTimeouts(const CommTimeouts& t) {
  if (!Call()) return false;
  timeouts_ = t;
  return true;
}

int64_t ScriptedPort::ReadTimeUs(uint32_t n, uint32_t got) const {
  const CommTimeouts& t = timeouts_;
  if (t.read_interval == kMaxDword && t.read_per_byte == 0 && t.read_constant == 0)
    return 0;  // "return at once with what is there"
  const int64_t arrived_us = static_cast<int64_t>(got) * kByteUs;
  if (got == n) return arrived_us;
  // Short: the read ends on the total limit, or on the interval limit after
  // the last byte that came, whichever is first.
  const int64_t total_us =
      (static_cast<int64_t>(t.read_per_byte) * n + t.read_constant) * 1000;
  int64_t end_us = total_us > 0 ? total_us : -1;
  if (got > 0 && t.read_interval > 0) {
    const int64_t gap_end_us = arrived_us + static_cast<int64_t>(t.read_interval) * 1000;
    end_us = end_us < 0 ? gap_end_us : std::min(end_us, gap_end_us);
  }
  if (end_us < 0) NeverEnds("a read without a time-out waits for a byte that never comes");
  return std::max(end_us, arrived_us);
}

bool ScriptedPort::TakeEntry(uint8_t* buf, uint32_t n, uint32_t* got) {
  uint32_t offered = 0;
  if (next_ < size_) {
    const uint8_t code = script_[next_++];
    if (code >= kFirstVanishCode) {
      vanished_ = true;
      return false;
    }
    offered = code;
  }
  const uint32_t take =
      static_cast<uint32_t>(std::min<size_t>({offered, n, size_ - next_}));
  if (take > 0) std::memcpy(buf, script_ + next_, take);
  next_ += take;
  *got = take;
  return true;
}

bool ScriptedPort::Read(uint8_t* buf, uint32_t n, uint32_t* got) {
  *got = 0;
  if (!Call() || !TakeEntry(buf, n, got)) return false;
  clock_->SleepUs(ReadTimeUs(n, *got));
  return true;
}

bool ScriptedPort::ReadWaiting(uint8_t* buf, uint32_t n, uint32_t* got) {
  *got = 0;
  return Call() && TakeEntry(buf, n, got);
}

bool ScriptedPort::Write(const uint8_t*, uint32_t n, uint32_t* done) {
  *done = 0;
  if (!Call()) return false;
  if (writes_stall_ && n > 0) {
    const CommTimeouts& t = timeouts_;
    const int64_t total_us =
        (static_cast<int64_t>(t.write_per_byte) * n + t.write_constant) * 1000;
    if (total_us == 0) NeverEnds("a write without a time-out waits for a line that never takes it");
    clock_->SleepUs(total_us);
    return true;
  }
  *done = n;
  clock_->SleepUs(static_cast<int64_t>(n) * kByteUs);
  return true;
}

}  // namespace zvp::fuzz
