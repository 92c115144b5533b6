// The reply fuzzer's input: a fixed head of choices, then the port's script
// (fuzz/scripted_port.h). A short input reads as if padded with zeros.
//
//   0      operation (modulo the number of operations, fuzz/reply_world.h)
//   1      bits: 0 debug mode, 1 OTP chip (else MTP), 2 code in the
//          programmer memory, 3 view shows the chip, 4 view in ASCII,
//          5 the port does not open, 6 buzzer on
//   2      option boxes, bit i = the i-th of the "编程系统" group as
//          kOptionBoxes in reply_world.cpp lists them
//   3..4   start address typed into its box (big-endian, 4 hex digits)
//   5..6   end address typed into its box
//   7..8   code-view address (times 16, 5 hex digits into its box)
//   9..10  port call number of the event (0: none)
//   11     the event: 1 device vanishes, 2 user stop, 3 writes stall, else none
//   12..   the script
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/scripted_port.h"

namespace zvp::fuzz {

struct ReplyChoices {
  uint8_t operation = 0;
  bool debug = false;
  bool otp = false;
  bool memory_loaded = false;
  bool view_chip = false;
  bool view_ascii = false;
  bool port_refuses = false;
  bool buzzer = false;
  uint8_t options = 0;
  uint16_t start = 0;
  uint16_t end = 0;
  uint16_t view_row = 0;
  uint16_t event_call = 0;
  PortEvent event = PortEvent::kNone;
};

constexpr size_t kChoiceBytes = 12;

struct ReplyInput {
  ReplyChoices choices;
  const uint8_t* script = nullptr;
  size_t script_size = 0;
};

ReplyInput ParseReplyInput(const uint8_t* data, size_t size);

// The head bytes for `choices` (the seed writer's side of the layout).
std::vector<uint8_t> ChoiceBytes(const ReplyChoices& choices);

}  // namespace zvp::fuzz
