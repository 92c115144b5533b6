// Reading back: chip checksum (2), verify against the memory (5), block reads
// of the chip (10) and of the memory (15), copying the chip into the memory
// (16).
//
// A read-protected chip hides its code: every read of it (sum, verify,
// block, copy) sees 0x00 bytes.
#include <algorithm>
#include <vector>

#include "sim/virtual_programmer.h"

namespace zvp {

namespace {

// A block read sends at most this many data bytes, whatever the header asks;
// the PC asks for 256 at most.
constexpr uint32_t kMaxBlock = 0x10000;

// How long the programmer takes per chip byte as it scans (reading, or
// reading and storing into its memory). At the default step the reports come
// a few milliseconds apart, well inside the PC's silence limits.
constexpr int64_t kScanUsPerByte = 2;
constexpr int64_t kCopyUsPerByte = 4;

// The scans' progress reports, planned before they go out: the addresses the
// programmer reports and whether it goes on to its final reply.
struct ScanPlan {
  std::vector<uint32_t> reports;
  bool complete = true;
  uint32_t reached = 0;  // the scan covered start..reached-1
};

// Reports as the PC follows them: starting from `start`, one address per
// step (on step boundaries) while the last one is below `limit`, the last
// clamped to `limit`; so no report at all when start >= limit. `stop` is
// where the programmer gives up (ignored below `start`): it reports that
// address and falls silent. A stop at the limit itself still ends the scan
// normally but leaves out what would follow it.
ScanPlan PlanScan(uint32_t start, uint32_t limit, uint32_t step, int64_t stop) {
  ScanPlan plan;
  if (step == 0) step = 1;
  uint32_t address = start;
  while (address < limit) {
    const uint64_t aligned = (static_cast<uint64_t>(address) / step + 1) * step;
    const uint32_t next = static_cast<uint32_t>(std::min<uint64_t>(limit, aligned));
    if (stop >= start && stop <= next) {
      plan.reports.push_back(static_cast<uint32_t>(stop));
      plan.complete = false;
      plan.reached = static_cast<uint32_t>(stop);
      return plan;
    }
    plan.reports.push_back(next);
    address = next;
  }
  // No report was due (start >= limit), but the programmer still gives up
  // before its final reply.
  if (stop >= start && stop <= address) {
    plan.complete = false;
    plan.reached = static_cast<uint32_t>(stop);
    return plan;
  }
  plan.reached = address;
  return plan;
}

// Sends the planned reports, each when the scan reaches its address, and
// returns the time the last one has gone out.
template <typename EmitTripleAt>
int64_t SendReports(const ScanPlan& plan, uint32_t start, int64_t t, int64_t us_per_byte,
                    EmitTripleAt emit) {
  int64_t out = t;
  for (uint32_t a : plan.reports) {
    const int64_t due = t + static_cast<int64_t>(a > start ? a - start : 0) * us_per_byte;
    out = emit(a, std::max(due, out));
  }
  return out;
}

int64_t Earliest(int64_t a, int64_t b) {
  if (a < 0) return b;
  if (b < 0) return a;
  return std::min(a, b);
}

}  // namespace

void VirtualProgrammer::OnChipChecksum(const Header& h, int64_t t) {
  if (!StartAck(&t)) return;
  const uint32_t start = h.RangeStart(), end = h.RangeEnd();
  const ScanPlan plan = PlanScan(start, end, config_.progress_step, faults_.silent_at_address);
  t = SendReports(plan, start, t, kScanUsPerByte,
                  [this](uint32_t a, int64_t at) { return EmitTriple(a, at); });
  if (!plan.complete) return;
  uint32_t sum = 0;
  for (uint32_t a = start; a <= end && a < kSimMemorySize; ++a) {
    sum += chip_.read_protect ? 0 : ChipByte(a);
  }
  EmitWord(static_cast<uint16_t>(sum), t);
}

void VirtualProgrammer::OnVerify(const Header& h, int64_t t) {
  if (!StartAck(&t)) return;
  const uint32_t start = h.RangeStart(), end = h.RangeEnd();
  int64_t differs = -1;
  for (uint32_t a = start; a <= end && a < kSimMemorySize; ++a) {
    const uint8_t chip = chip_.read_protect ? 0 : ChipByte(a);
    if (chip != memory_[a]) {
      differs = a;
      break;
    }
  }
  // A good verify ends with a report beyond the end; a bad one reports the
  // first difference and falls silent.
  const ScanPlan plan =
      PlanScan(start, end + 1, config_.progress_step, Earliest(differs, faults_.silent_at_address));
  SendReports(plan, start, t, kScanUsPerByte,
              [this](uint32_t a, int64_t at) { return EmitTriple(a, at); });
}

void VirtualProgrammer::OnReadBlock(const Header& h, int64_t t) {
  const int command = h.Command();
  // A supply fault concerns the chip; the programmer's own memory reads
  // without it.
  if (command == cmd::kReadChip) {
    if (!StartAck(&t)) return;
  } else {
    t = EmitText(kReplyOk, t);
  }
  const uint32_t first = h.RangeStart(), last = h.RangeEnd();
  const uint32_t n = last < first ? 0 : std::min(last - first + 1, kMaxBlock);
  // The silent_at_address fault inside the block (or just behind it): the
  // data stops there, and no sum follows.
  const int64_t silent_at = faults_.silent_at_address;
  const bool silent = silent_at >= first && silent_at <= static_cast<int64_t>(first) + n;
  const uint32_t sent = silent ? static_cast<uint32_t>(silent_at - first) : n;
  std::vector<uint8_t> data(sent);
  uint32_t sum = 0;
  for (uint32_t i = 0; i < sent; ++i) {
    const uint32_t a = first + i;
    if (command == cmd::kReadChip) {
      data[i] = chip_.read_protect ? 0 : ChipByte(a);
    } else {
      data[i] = a < memory_.size() ? memory_[a] : 0xFF;
    }
    sum += data[i];
  }
  t = Emit(data.data(), data.size(), t);
  if (silent) return;
  if (faults_.wrong_block_sum) ++sum;
  EmitWord(static_cast<uint16_t>(sum), t);
}

void VirtualProgrammer::OnCopyChip(const Header& h, int64_t t) {
  if (!StartAck(&t)) return;
  const uint32_t start = h.RangeStart(), end = h.RangeEnd();
  const ScanPlan plan = PlanScan(start, end, config_.progress_step, faults_.silent_at_address);
  // What the scan covered is copied, also when it stops early; after a
  // complete scan the whole range is.
  const uint32_t upto = plan.complete ? end + 1 : plan.reached;
  uint32_t sum = 0;
  for (uint32_t a = start; a < upto && a < kSimMemorySize; ++a) {
    memory_[a] = chip_.read_protect ? 0 : ChipByte(a);
    sum += memory_[a];
  }
  t = SendReports(plan, start, t, kCopyUsPerByte,
                  [this](uint32_t a, int64_t at) { return EmitTriple(a, at); });
  if (!plan.complete) return;
  EmitWord(static_cast<uint16_t>(sum), t);
}

}  // namespace zvp
