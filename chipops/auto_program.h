// The auto-program sequence: one press blank-checks, erases, programs,
// verifies and protects the chip as the option boxes ask, stops at the first
// step that fails, counts the chip and sounds the buzzer.
#pragma once

#include <cstdint>
#include <vector>

namespace zvp {

// The programmer programs from its own memory (11) and verifies against it (5).
void AutoProgram();
// Debug mode: the PC streams the code (19) and the verify step is the chip
// checksum against the buffer (2).
void AutoProgramDirect();

// The operation codes the last sequence ran, in order (for the production
// log of the command line).
std::vector<uint8_t> LastAutoSteps();

}  // namespace zvp
