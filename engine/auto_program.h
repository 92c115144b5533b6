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

// How a finished sequence ended: the chip passed; failed (and counted as
// failed unless counting is paused); or, before any step could change the
// chip, the programmer could not be reached (no answer to a header, the port
// gone) or restarted. Those two are not counted whatever the counting state.
// Once the header of a step that changes the chip (erase, programming,
// SMART, a protection) reached the programmer, a run that fails counts the
// chip as failed, also when the link was lost or the programmer restarted
// after that.
enum class AutoVerdict { kPassed, kFailed, kNotCounted, kNotCountedRestart };

struct AutoRunRecord {
  AutoVerdict verdict = AutoVerdict::kNotCounted;
  bool counting_paused = false;
  std::vector<uint8_t> steps;  // the operation codes that ran, in order
};

// The last finished sequence (for the production log).
AutoRunRecord LastAutoRun();

}  // namespace zvp
