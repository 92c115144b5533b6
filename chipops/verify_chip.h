// Checking the chip in the socket against the code: the chip's checksum
// (command 2), the programmer's verify against its memory (command 5) and
// the PC's own verify by reading the chip back (debug mode).
#pragma once

namespace zvp {

// Shows the chip's 16-bit sum over the working range. Inside the auto
// sequence it also compares it with the code buffer's sum and gives the
// verify verdict.
void ChipChecksum();

// The programmer compares the chip with its memory and stops at the first
// difference; the verdict follows from the last address it reports.
void VerifyChip();

// Reads the chip back in blocks of 256 bytes and compares each byte with the
// code buffer.
void VerifyChipDirect();

}  // namespace zvp
