#include "fuzz/reply_input.h"

#include <algorithm>
#include <cstring>

namespace zvp::fuzz {

namespace {

enum Bit : uint8_t {
  kDebug = 0x01,
  kOtp = 0x02,
  kMemoryLoaded = 0x04,
  kViewChip = 0x08,
  kViewAscii = 0x10,
  kPortRefuses = 0x20,
  kBuzzer = 0x40,
};

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

void PutWord(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

}  // namespace

ReplyInput ParseReplyInput(const uint8_t* data, size_t size) {
  uint8_t head[kChoiceBytes] = {};
  std::memcpy(head, data, std::min(size, kChoiceBytes));
  ReplyInput in;
  ReplyChoices& c = in.choices;
  c.operation = head[0];
  c.debug = head[1] & kDebug;
  c.otp = head[1] & kOtp;
  c.memory_loaded = head[1] & kMemoryLoaded;
  c.view_chip = head[1] & kViewChip;
  c.view_ascii = head[1] & kViewAscii;
  c.port_refuses = head[1] & kPortRefuses;
  c.buzzer = head[1] & kBuzzer;
  c.options = head[2];
  c.start = Word(head + 3);
  c.end = Word(head + 5);
  c.view_row = Word(head + 7);
  c.event_call = Word(head + 9);
  c.event = head[11] >= 1 && head[11] <= 3 ? static_cast<PortEvent>(head[11]) : PortEvent::kNone;
  if (size > kChoiceBytes) {
    in.script = data + kChoiceBytes;
    in.script_size = size - kChoiceBytes;
  }
  return in;
}

std::vector<uint8_t> ChoiceBytes(const ReplyChoices& c) {
  std::vector<uint8_t> out;
  out.push_back(c.operation);
  out.push_back(static_cast<uint8_t>((c.debug ? kDebug : 0) | (c.otp ? kOtp : 0) |
                                     (c.memory_loaded ? kMemoryLoaded : 0) |
                                     (c.view_chip ? kViewChip : 0) |
                                     (c.view_ascii ? kViewAscii : 0) |
                                     (c.port_refuses ? kPortRefuses : 0) |
                                     (c.buzzer ? kBuzzer : 0)));
  out.push_back(c.options);
  PutWord(out, c.start);
  PutWord(out, c.end);
  PutWord(out, c.view_row);
  PutWord(out, c.event_call);
  out.push_back(static_cast<uint8_t>(c.event));
  return out;
}

}  // namespace zvp::fuzz
