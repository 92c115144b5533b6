// Connecting the programmer on a COM port, and the once-a-second reset watch
// that listens for the programmer's unsolicited "STARRESET".
#pragma once

#include <string>

#include "core/operator_choices.h"

namespace zvp {

// The text every operation shows when the programmer cannot be reached.
extern const char kConnectionErrorText[];

// Whether the reconnect timer (id 0) is armed with the report below.
enum class Reconnect { kArmTimer, kNoTimer };

// The programmer cannot be reached: the run does not count as a failed chip
// (count_failure = 0), link_fault = 1, the connection error on the status
// line, and the programmer memory is no longer trusted (whoever answers
// next may be another programmer, or one that restarted unheard).
void ReportProgrammerLost(Reconnect reconnect);

// The programmer memory's content is no longer known to be the code:
// memory_loaded = 0, and a sum shown in the checksum box gives way to
// "XXXX". Only a completed download with a matching checksum (or a copy of
// the chip) trusts it again.
void ForgetProgrammerMemory();

// On the UI thread: connects port n (1..4) with at most two open attempts
// 100 ms apart, showing the outcome on the status line. The connect header
// carries `choices` (read from the window as the connection starts).
void ConnectPort(int n, const OperatorChoices& choices);
// The same for a port by name ("COM1", a device path on Linux); the status
// line names the port as given.
void ConnectPort(const std::string& name, const OperatorChoices& choices);

// Every tick of either timer (RESET_POLL_TIMER, the reconnect timer 0):
// starts a reset poll on its own thread while no operation is busy and no
// earlier poll is still running.
void OnTimerTick(int timer_id);

// Stops a running reset poll at once: its port work is abandoned and the
// call returns as soon as the poll no longer touches the port. The wait never
// depends on the UI thread (the poll writes the status line only after it
// has let go of the port), so the UI thread may call this.
void StopResetPoll();

// The poll's work, on the calling thread (OnTimerTick runs it on a new one).
// It only listens: when it hears the programmer's "STARRESET" it reports it,
// and the reaction runs on the UI thread (ApplyReportedReset).
int ResetPoll();

// On the UI thread: the reaction to a reset that a poll reported and that
// has not been reacted to yet: the programmer is found, its memory (and the
// buffer that stood for it) is gone, the reset text in red. Every tick, every
// command of the window and every start of an operation or a connection
// runs it first. True when there was a reset to react to.
bool ApplyReportedReset();

// On the thread that ran an operation, at its end (RunOperation; the
// auto-program sequence after the step that heard it): the reaction to a
// reset message that the link heard amid the operation's traffic
// (link/reset_scan.h). The operation has failed (link_fault), the
// programmer memory is no longer trusted, and the rest is the poll's
// reaction, run on the UI thread through the window: buffer wiped, sum
// forgotten, the reset text. True when there was a reset to react to.
bool ApplyResetHeardInTraffic();

// For tests: true while a poll thread exists; and a wait for it to end
// (never on a window's UI thread).
bool ResetPollRunning();
void WaitForResetPoll();

}  // namespace zvp
