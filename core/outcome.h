// How an operation ended, as a value: what the front ends decide on (the
// command line's exit status, the production log), so that no decision
// depends on the words the status line shows.
#pragma once

#include <cstdint>
#include <vector>

namespace zvp {

// Done: it ran to its end. Failed: it ran and did not succeed (its status
// text says why, drawn red while link_fault is set). Declined: it did
// nothing because the user answered No, cancelled a file dialog, or the mode
// forbids it. Interrupted: a stop (the user's, a signal's, or a wire trace
// that could not be kept) cut it short.
enum class Outcome { kDone, kFailed, kDeclined, kInterrupted };

// The status line's words for an operation the user declined or the mode
// forbids.
inline constexpr char kDeclinedText[] = "操作已中止";

// How a finished auto-program sequence counts the chip: it passed; failed
// (and counted as failed unless counting is paused); or, before any step
// could change the chip, the programmer could not be reached (no answer to a
// header, the port gone) or restarted. Those two are not counted whatever the
// counting state. Once the header of a step that changes the chip (erase,
// programming, SMART, a protection) reached the programmer, a run that fails
// counts the chip as failed, also when the link was lost or the programmer
// restarted after that.
enum class AutoVerdict { kPassed, kFailed, kNotCounted, kNotCountedRestart };

struct AutoRunRecord {
  AutoVerdict verdict = AutoVerdict::kNotCounted;
  bool counting_paused = false;
  std::vector<uint8_t> steps;  // the operation codes that ran, in order
};

}  // namespace zvp
