// Programming the chip over the working range, in two forms chosen by the
// debug-mode box: from the programmer memory (command 11) or with the code
// streamed from the PC's buffer (command 19). The auto-program sequence runs
// them; a failure sets link_fault and says why on the status line.
#pragma once

#include <cstdint>

#include "core/outcome.h"

namespace zvp {

// Bytes per write of the direct stream, and how many bytes go out between two
// refreshes of the status line.
constexpr uint32_t kDirectChunk = 8;
constexpr uint32_t kDirectStatusEvery = 128;

// Command 11: the programmer programs from its own memory; the PC follows the
// progress addresses and reads the verdict ("OK").
void ProgramChip();

// Command 19: the PC sends range_start..range_end (rounded up to whole 8-byte
// writes) and reads the programmer's verdict on the sum of what it received.
// A stop asked meanwhile (stop_requested) ends the stream before its next
// write, interrupted, with kStoppedText and link_fault set.
Outcome ProgramChipDirect();

// The status text of a sequence or stream ended by a stop the user asked.
extern const char kStoppedText[];  // "用户已中断操作!"

}  // namespace zvp
