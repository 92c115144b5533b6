// The chip's commands: blank check (3), program from memory (11), the erase,
// option and protection commands (4, 6, 7, 8, 9) and direct programming (19).
//
// The chip's rules:
// - Programming an OTP chip can only clear bits (the chip byte becomes
//   chip AND data); a byte that needs a 0 turned back into 1 makes the
//   verdict "NO". An OTP chip cannot be erased.
// - An MTP chip takes any byte; erasing sets it to 0xFF and clears the SMART
//   option and every protection.
// - Hardware write protection refuses programming and the SMART option
//   (nothing is written, the verdict is "NO").
// - A read-protected chip reads as 0x00 bytes (as in read_commands.cpp): the
//   blank check finds it not blank at the first address, and programming,
//   which cannot check what it wrote, is refused.
// - LDC protection changes nothing the programmer does.
// - The differs_at fault is a fault of reading back (verify, checksums) and
//   of the blank check; programming does not check against it.
#include <algorithm>
#include <vector>

#include "sim/virtual_programmer.h"

namespace zvp {

namespace {

// How long the chip takes, as the programmer works on it. The reports come a
// few milliseconds apart at the default step, well inside the PC's silence
// limits (about 300 ms for the blank check, 540 ms while programming).
constexpr int64_t kBlankReadUsPerByte = 2;
constexpr int64_t kProgramUsPerByte = 10;
constexpr int64_t kEraseUs = 150'000;
constexpr int64_t kOptionUs = 20'000;
constexpr int64_t kVerdictUs = 2'000;  // from the last byte worked on to the verdict

// The addresses a scan from `first` reports on its way to `stop`: each
// multiple of `step` after first and before stop, then stop itself.
std::vector<uint32_t> ScanReports(uint32_t first, uint32_t stop, uint32_t step) {
  std::vector<uint32_t> reports;
  if (step > 0) {
    for (uint64_t a = (static_cast<uint64_t>(first) / step + 1) * step; a < stop; a += step)
      reports.push_back(static_cast<uint32_t>(a));
  }
  reports.push_back(stop);
  return reports;
}

// Where a scan over first..end falls silent under the silent_at_address
// fault: the fault's address when it lies in first..end-1, else -1.
int64_t SilentAt(int fault_address, uint32_t first, uint32_t end) {
  if (fault_address < 0) return -1;
  const auto a = static_cast<uint32_t>(fault_address);
  return (a >= first && a < end) ? a : -1;
}

}  // namespace

void VirtualProgrammer::OnBlankCheck(const Header& h, int64_t t) {
  if (!StartAck(&t)) return;
  const uint32_t first = h.RangeStart(), last = h.RangeEnd();
  if (Matches(faults_.answer_no, cmd::kBlankCheck)) {
    // Not an address: the PC's check of the reply refuses it.
    EmitText(kReplyNo, t + kVerdictUs);
    return;
  }
  // A blank chip is reported by an address beyond the range; one that is not
  // by its first programmed address, after which the programmer is silent.
  uint32_t stop = last + 1;
  const uint32_t scan_end = std::min<uint32_t>(last, kSimChipSize - 1);
  for (uint32_t a = first; a <= scan_end; ++a) {
    const uint8_t b = chip_.read_protect ? 0x00 : ChipByte(a);
    if (b != 0xFF) {
      stop = a;
      break;
    }
  }
  const int64_t silent = SilentAt(faults_.silent_at_address, first, stop);
  if (silent >= 0) stop = static_cast<uint32_t>(silent);
  for (uint32_t a : ScanReports(first, stop, config_.progress_step))
    EmitTriple(a, t + static_cast<int64_t>(a - first) * kBlankReadUsPerByte);
}

void VirtualProgrammer::OnProgram(const Header& h, int64_t t) {
  if (!StartAck(&t)) return;
  const uint32_t first = h.RangeStart(), last = h.RangeEnd();
  // The PC follows the reports while they are below the end address, so the
  // last report is the end address itself, and a one-byte range has none.
  const int64_t silent = SilentAt(faults_.silent_at_address, first, last);
  const uint32_t stop = silent >= 0 ? static_cast<uint32_t>(silent) : last;
  const uint32_t program_end = silent >= 0 ? stop : last + 1;  // exclusive

  const bool refused = chip_.hw_write_protect || chip_.read_protect;
  bool accepted = !refused;
  if (!refused) {
    for (uint32_t a = first; a < program_end && a < kSimChipSize; ++a) {
      const uint8_t data = memory_[a];
      uint8_t& cell = chip_.memory[a];
      if (chip_.type == SimChipType::kOtp) {
        if (data & ~cell) accepted = false;
        cell &= data;
      } else {
        cell = data;
      }
    }
  }
  if (silent >= 0 || first < last) {
    for (uint32_t a : ScanReports(first, stop, config_.progress_step))
      EmitTriple(a, t + static_cast<int64_t>(a - first) * kProgramUsPerByte);
  }
  if (silent >= 0) return;
  const uint32_t worked = program_end > first ? program_end - first : 0;
  const int64_t done = t + static_cast<int64_t>(worked) * kProgramUsPerByte + kVerdictUs;
  const bool ok = accepted && !Matches(faults_.answer_no, cmd::kProgramFromMemory);
  EmitText(ok ? kReplyOk : kReplyNo, done);
}

void VirtualProgrammer::OnOption(const Header& h, int64_t t) {
  const int command = h.Command();
  // The programmer checks its voltages before it touches the chip; the error
  // reply takes the place of the verdict.
  if (faults_.voltage_error) {
    StartAck(&t);
    return;
  }
  bool ok = !Matches(faults_.answer_no, command);
  int64_t takes = kOptionUs;
  if (ok) {
    switch (command) {
      case cmd::kEraseMtp:
        takes = kEraseUs;
        if (chip_.type == SimChipType::kOtp) {
          ok = false;
          break;
        }
        std::fill(chip_.memory.begin(), chip_.memory.end(), 0xFF);
        chip_.smart = chip_.read_protect = chip_.ldc_protect = chip_.hw_write_protect = false;
        break;
      case cmd::kEnableSmart:
        if (chip_.hw_write_protect) {
          ok = false;
          break;
        }
        chip_.smart = true;
        break;
      case cmd::kReadProtect:
        chip_.read_protect = true;
        break;
      case cmd::kLdcProtect:
        chip_.ldc_protect = true;
        break;
      case cmd::kHardwareWriteProtect:
        chip_.hw_write_protect = true;
        break;
      default:
        ok = false;
        break;
    }
  }
  EmitText(ok ? kReplyOk : kReplyNo, t + takes);
}

void VirtualProgrammer::OnProgramDirect(const Header& h, int64_t t) {
  if (!StartAck(&t)) return;
  const uint32_t first = h.RangeStart(), last = h.RangeEnd();
  stream_header_ = h;
  stream_address_ = first;
  stream_sum_ = 0;
  stream_refused_ = chip_.hw_write_protect || chip_.read_protect;
  // The PC sends whole 8-byte writes: the range rounded up.
  const uint32_t length = last >= first ? last - first + 1 : 0;
  const uint32_t count = (length + 7) / 8 * 8;
  if (count == 0) {
    EmitText(kReplyNo, t + kVerdictUs);
    return;
  }
  ExpectStream(cmd::kProgramFromPc, count);
}

void VirtualProgrammer::OnDirectByte(uint8_t byte, int64_t) {
  // Bytes arrive far slower (573 µs) than the chip takes them, so each is
  // programmed as it comes; the padding after the range is not.
  const uint32_t a = stream_address_++;
  if (a > stream_header_.RangeEnd()) return;
  stream_sum_ += byte;
  if (chip_.hw_write_protect || chip_.read_protect || a >= kSimChipSize) return;
  uint8_t& cell = chip_.memory[a];
  if (chip_.type == SimChipType::kOtp) {
    if (byte & ~cell) stream_refused_ = true;
    cell &= byte;
  } else {
    cell = byte;
  }
}

void VirtualProgrammer::OnDirectEnd(int64_t t) {
  const uint32_t first = stream_header_.RangeStart(), last = stream_header_.RangeEnd();
  if (SilentAt(faults_.silent_at_address, first, last + 1) >= 0) return;
  const bool ok = !stream_refused_ && !Matches(faults_.answer_no, cmd::kProgramFromPc) &&
                  static_cast<uint16_t>(stream_sum_) == stream_header_.Checksum();
  EmitText(ok ? kReplyOk : kReplyNo, t + kVerdictUs);
}

}  // namespace zvp
