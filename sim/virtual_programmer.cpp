#include "sim/virtual_programmer.h"

#include <algorithm>
#include <cstring>

namespace zvp {

namespace {
constexpr uint8_t kStar[] = {'S', 'T', 'A', 'R'};
}  // namespace

VirtualProgrammer::VirtualProgrammer(SimConfig config) : config_(config) {}

void VirtualProgrammer::Receive(uint8_t byte, int64_t at_us) {
  pending_.push_back(byte);
  // Resynchronise on "STAR": bytes that cannot begin a header are dropped,
  // the way the firmware skips noise between exchanges.
  while (!pending_.empty()) {
    const size_t n = std::min(pending_.size(), sizeof kStar);
    if (std::memcmp(pending_.data(), kStar, n) == 0) break;
    pending_.erase(pending_.begin());
  }
  if (pending_.size() == 21) {
    Header h;
    std::copy(pending_.begin(), pending_.end(), h.begin());
    pending_.clear();
    OnHeader(h, at_us);
  }
}

void VirtualProgrammer::OnHeader(const Header& h, int64_t at_us) {
  headers_.push_back(h);
  if (faults_.silent) return;
  // The programmer answers every header with 21 bytes: it echoes the header,
  // which lets the PC side (and a trace reader) see what arrived.
  size_t n = h.size();
  if (faults_.short_answer >= 0) n = std::min(n, static_cast<size_t>(faults_.short_answer));
  Emit(h.data(), n, at_us + config_.answer_latency_us);
}

void VirtualProgrammer::Emit(const uint8_t* data, size_t n, int64_t start_us) {
  int64_t t = std::max(start_us, line_free_us_);
  for (size_t i = 0; i < n; ++i) {
    if (config_.paced) t += kByteTimeUs;
    out_.push_back({data[i], t});
  }
  line_free_us_ = t;
}

uint8_t VirtualProgrammer::PopOutput() {
  const uint8_t b = out_.front().byte;
  out_.pop_front();
  return b;
}

void VirtualProgrammer::DropArrived(int64_t now_us) {
  while (!out_.empty() && out_.front().at_us <= now_us) out_.pop_front();
}

void VirtualProgrammer::SendReset(int64_t at_us) {
  static const uint8_t kReset[] = {'S', 'T', 'A', 'R', 'R', 'E', 'S', 'E', 'T'};
  Emit(kReset, sizeof kReset, at_us);
}

}  // namespace zvp
