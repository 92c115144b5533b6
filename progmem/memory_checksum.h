// The programmer memory's checksum (command 13): the programmer sums its
// memory over the working range while it reports its progress, the PC
// compares the sum with the buffer's, shows it and records the range it was
// taken for (checksum_start, checksum_end), which the auto-program command
// insists on.
#pragma once

namespace zvp {

extern const char kMemorySumResultText[];  // "编程内存检查和 =  ", then 4 hex digits or XXXX
extern const char kMemorySumMismatchText[];  // the warning box's text
extern const char kMemorySumMismatchCaption[];

enum class MemorySum { kMatches, kDiffers, kNotObtained };

// Asks the programmer for its sum over range_start..range_end. Afterwards
// link_fault is 0 when the sum came and equals the buffer's, 1 otherwise. In
// debug mode nothing is sent and the buffer's own sum is shown.
MemorySum ProgrammerMemoryChecksum();

}  // namespace zvp
