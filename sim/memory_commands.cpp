// The programmer memory's commands: initialise (12), checksum (13) and
// download (14).
#include <algorithm>

#include "sim/virtual_programmer.h"

namespace zvp {

namespace {

// How long the programmer takes to add one byte of its memory to a sum. It
// sets the pace of the progress reports of command 13.
constexpr int64_t kSumUsPerByte = 2;

// A downloading PC writes its data back to back. A pause this long means it
// stopped midway (the user's stop, a pulled cable) and will not send the
// rest: the programmer stops waiting for it and listens for headers again.
constexpr int64_t kStreamGiveUpUs = 1'000'000;

// What a failing initialisation reports instead of "ROMOK": five bytes, none
// of them the one "ROMOK" has in its place.
constexpr char kWrongRomok[] = "romok";

}  // namespace

void VirtualProgrammer::OnInitMemory(const Header&, int64_t t) {
  // The erase happens whatever the report says; a PC that gets no "ROMOK"
  // must take the memory as undefined anyway.
  std::fill(memory_.begin(), memory_.end(), 0xFF);
  if (faults_.no_romok) return;
  const int64_t at = t + config_.init_delay_us;
  EmitText(faults_.wrong_romok ? kWrongRomok : kReplyRomOk, at);
}

void VirtualProgrammer::OnMemoryChecksum(const Header& h, int64_t t) {
  const uint32_t start = h.RangeStart();
  const uint32_t end = h.RangeEnd();
  t = EmitText(kReplyOk, t);
  // The sum over start..end, cut at the end of the memory; nothing for a
  // range whose start lies past its end.
  uint32_t sum = 0;
  const uint32_t top = std::min<uint32_t>(end, kSimMemorySize - 1);
  for (uint32_t a = start; a <= top && start <= end; ++a) sum += memory_[a];
  // Progress while summing: every progress_step addresses the address
  // reached so far, the last one the end of the range. A one-address range
  // gets no progress report (the PC reads none): the sum follows the
  // acknowledgement directly.
  // A programmer that hangs midway (silent_at_address within the range)
  // stops reporting there and sends no sum.
  const bool hangs =
      faults_.silent_at_address >= 0 && static_cast<uint32_t>(faults_.silent_at_address) >= start;
  if (start < end) {
    const uint32_t step = std::max<uint32_t>(config_.progress_step, 1);
    uint32_t reached = start;
    int64_t at = t;
    do {
      const uint32_t next = (end - reached > step) ? reached + step : end;
      at += static_cast<int64_t>(next - reached) * kSumUsPerByte;
      reached = next;
      if (hangs && reached > static_cast<uint32_t>(faults_.silent_at_address)) return;
      at = EmitTriple(reached, at);
    } while (reached < end);
    t = at;
  }
  EmitWord(static_cast<uint16_t>(sum), t);
}

void VirtualProgrammer::OnDownload(const Header& h, int64_t t) {
  const uint32_t first = h.RangeStart();
  const uint32_t last = h.RangeEnd();
  // An all-0xFF buffer is announced as first > last: no data follow.
  if (first > last) return;
  // The PC sends whole groups of three; the filler bytes past `last` are
  // taken from the line but not stored.
  const uint32_t count = last - first + 1;
  stream_header_ = h;
  stream_address_ = first;
  stream_last_us_ = t;
  ExpectStream(cmd::kDownload, (count + 2) / 3 * 3);
}

void VirtualProgrammer::OnDownloadByte(uint8_t byte, int64_t t) {
  if (t - stream_last_us_ > kStreamGiveUpUs) {
    // The byte is the first of whatever the PC sends next.
    stream_remaining_ = 0;
    Receive(byte, t);
    return;
  }
  stream_last_us_ = t;
  const uint32_t last = stream_header_.RangeEnd();
  if (stream_address_ <= last && stream_address_ < kSimMemorySize) {
    memory_[stream_address_] = byte;
  }
  ++stream_address_;
}

// The stream is complete; the programmer does not answer it. Whether it
// arrived intact shows in the checksum the PC asks for next.
void VirtualProgrammer::OnDownloadEnd(int64_t) {}

}  // namespace zvp
