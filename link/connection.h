// Connecting the programmer on a COM port, and the once-a-second reset watch
// that listens for the programmer's unsolicited "STARRESET".
#pragma once

namespace zvp {

// On the UI thread: connects port n (1..4) with at most two open attempts
// 100 ms apart, showing the outcome on the status line.
void ConnectPort(int n);

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
int ResetPoll();

// For tests: true while a poll thread exists; and a wait for it to end
// (never on a window's UI thread).
bool ResetPollRunning();
void WaitForResetPoll();

}  // namespace zvp
