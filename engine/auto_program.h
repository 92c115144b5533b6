// The auto-program sequence: one press blank-checks, erases, programs,
// verifies and protects the chip as the option boxes ask, stops at the first
// step that fails, counts the chip and sounds the buzzer.
#pragma once

#include "core/outcome.h"

namespace zvp {

// The programmer programs from its own memory (11) and verifies against it (5).
// The run's record goes to App().recorder; the outcome is done only when the
// chip passed, interrupted when a stop (stop_requested) ended it.
Outcome AutoProgram();
// Debug mode: the PC streams the code (19) and the verify step is the chip
// checksum against the buffer (2).
Outcome AutoProgramDirect();

}  // namespace zvp
