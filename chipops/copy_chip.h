// Copying the chip in the socket, operation code 16: in debug mode straight
// into the code buffer (which then stands for the programmer memory),
// otherwise into the programmer memory by the programmer itself.
#pragma once

#include "core/outcome.h"

namespace zvp {

// Both ask first (they overwrite the programmer memory's code): a No leaves
// everything as it was, declined, with "操作已中止".

// Debug mode: reads the working range block by block (command 10) into the
// code buffer; on success the buffer's sum over the range becomes the
// programmer-memory checksum and memory_loaded is set.
Outcome CopyChipDirect();

// Normal mode: initialises the programmer memory (command 12, "ROMOK"), then
// has the programmer copy the chip over 0..range_end into it (command 16)
// and shows the sum it reports. The code buffer is not changed.
Outcome CopyChipToMemory();

}  // namespace zvp
