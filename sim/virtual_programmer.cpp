#include "sim/virtual_programmer.h"

#include <algorithm>
#include <cstring>

namespace zvp {

VirtualProgrammer::VirtualProgrammer(SimConfig config) : config_(config) {}

void VirtualProgrammer::Receive(uint8_t byte, int64_t at_us) {
  // After a download or direct-programming header the PC streams raw data;
  // those bytes are not looked at as headers.
  if (stream_remaining_ > 0) {
    OnStreamByte(byte, at_us);
    return;
  }
  pending_.push_back(byte);
  // Resynchronise on "STAR": bytes that cannot begin a header are dropped,
  // the way the firmware skips noise between exchanges.
  while (!pending_.empty()) {
    const size_t n = std::min(pending_.size(), sizeof kHeaderMagic - 1);
    if (std::memcmp(pending_.data(), kHeaderMagic, n) == 0) break;
    pending_.erase(pending_.begin());
  }
  if (pending_.size() == kHeaderSize) {
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
  const int64_t t = Emit(h.data(), n, at_us + config_.answer_latency_us);
  if (n < h.size()) return;
  const int command = h.Command();
  if (SilentFor(command)) return;
  switch (command) {
    case cmd::kChipChecksum:
      OnChipChecksum(h, t);
      break;
    case cmd::kBlankCheck:
      OnBlankCheck(h, t);
      break;
    case cmd::kEraseMtp:
    case cmd::kEnableSmart:
    case cmd::kReadProtect:
    case cmd::kLdcProtect:
    case cmd::kHardwareWriteProtect:
      OnOption(h, t);
      break;
    case cmd::kVerifyChip:
      OnVerify(h, t);
      break;
    case cmd::kReadChip:
    case cmd::kReadMemory:
      OnReadBlock(h, t);
      break;
    case cmd::kProgramFromMemory:
      OnProgram(h, t);
      break;
    case cmd::kInitMemory:
      OnInitMemory(h, t);
      break;
    case cmd::kMemoryChecksum:
      OnMemoryChecksum(h, t);
      break;
    case cmd::kDownload:
      OnDownload(h, t);
      break;
    case cmd::kCopyChip:
      OnCopyChip(h, t);
      break;
    case cmd::kOfflineConfig:
      OnOfflineConfig(h, t);
      break;
    case cmd::kProgramFromPc:
      OnProgramDirect(h, t);
      break;
    default:
      break;  // connect and unknown commands: the header answer is all
  }
  // A stream's exchange ends with the stream (OnStreamByte).
  if (stream_remaining_ == 0) RestartIfDue(command);
}

void VirtualProgrammer::RestartIfDue(int command) {
  if (!Matches(faults_.reset_after, command)) return;
  faults_.reset_after = kNoCommand;
  // Every answer of the exchange is already queued: the message follows
  // the last of them.
  SendReset(line_free_us_ + kRestartGapUs);
}

bool VirtualProgrammer::SilentFor(int command) const {
  return Matches(faults_.silent_after_header, command);
}

int64_t VirtualProgrammer::Emit(const uint8_t* data, size_t n, int64_t start_us) {
  int64_t t = std::max(start_us, line_free_us_);
  for (size_t i = 0; i < n; ++i) {
    if (config_.paced) t += kByteTimeUs;
    out_.push_back({data[i], t});
  }
  line_free_us_ = t;
  return t;
}

int64_t VirtualProgrammer::EmitText(const char* text, int64_t start_us) {
  return Emit(reinterpret_cast<const uint8_t*>(text), std::strlen(text), start_us);
}

int64_t VirtualProgrammer::EmitWord(uint16_t value, int64_t start_us) {
  const uint16_t v = static_cast<uint16_t>(value + faults_.sum_offset);
  const uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  return Emit(b, 2, start_us);
}

int64_t VirtualProgrammer::EmitTriple(uint32_t value, int64_t start_us) {
  const uint8_t b[3] = {static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value)};
  return Emit(b, 3, start_us);
}

bool VirtualProgrammer::StartAck(int64_t* t) {
  if (faults_.voltage_error) {
    const uint8_t e[2] = {kVoltageErrorMark, static_cast<uint8_t>(faults_.voltage_error)};
    *t = Emit(e, 2, *t);
    return false;
  }
  *t = EmitText(kReplyOk, *t);
  return true;
}

uint8_t VirtualProgrammer::ChipByte(uint32_t address) const {
  if (address >= chip_.memory.size()) return 0xFF;
  const uint8_t b = chip_.memory[address];
  return static_cast<int>(address) == chip_.differs_at ? static_cast<uint8_t>(~b) : b;
}

void VirtualProgrammer::ExpectStream(int command, uint32_t count) {
  stream_command_ = command;
  stream_remaining_ = count;
  stream_taken_ = 0;
}

void VirtualProgrammer::OnStreamByte(uint8_t byte, int64_t at_us) {
  --stream_remaining_;
  // A programmer that stops taking the stream midway drops the rest.
  const bool taken = faults_.stop_stream_after < 0 ||
                     stream_taken_ < static_cast<uint32_t>(faults_.stop_stream_after);
  if (taken) {
    ++stream_taken_;
    if (stream_command_ == cmd::kDownload) OnDownloadByte(byte, at_us);
    if (stream_command_ == cmd::kProgramFromPc) OnDirectByte(byte, at_us);
  }
  if (stream_remaining_ == 0) {
    if (stream_command_ == cmd::kDownload) OnDownloadEnd(at_us);
    if (stream_command_ == cmd::kProgramFromPc) OnDirectEnd(at_us);
    RestartIfDue(stream_command_);
  }
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
  // What the programmer was still going to send dies with it.
  while (!out_.empty() && out_.back().at_us > at_us) out_.pop_back();
  line_free_us_ = std::min(line_free_us_, at_us);
  stream_remaining_ = 0;
  std::fill(memory_.begin(), memory_.end(), 0xFF);
  EmitText(kResetMessage, at_us);
}

}  // namespace zvp
