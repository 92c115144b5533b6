// The operation engine: one programmer operation at a time on a worker
// thread at time-critical priority. The UI thread starts operations and never
// waits for a worker; the window learns that an operation ended through
// `busy` and the cursor.
#pragma once

#include <cstdint>

#include "core/operation_code.h"
#include "core/outcome.h"
#include "core/operator_choices.h"

namespace zvp {

// On the UI thread: refuses without a chosen port, stops a running reset
// poll, stores the code and the operator's choices (App().choices, for the
// whole operation), builds the header from them and starts the worker.
// Returns without waiting.
void StartOperation(uint8_t code, const OperatorChoices& choices);

// The worker procedure: runs the operation whose code is in header byte 20
// and returns how it ended. An operation that ran to its end but left
// link_fault set (a reply that failed it, a reset heard on the way) failed.
Outcome RunOperation();

// Runs `code` on the calling thread and returns how it ended, once it is
// finished, with the choices of the operation that runs it (the
// auto-program sequence's steps) or, in the second form, with `choices`
// stored for it first (F7 on the UI thread, which builds its own header).
Outcome RunOperationNow(uint8_t code);
Outcome RunOperationNow(uint8_t code, const OperatorChoices& choices);

// For the command line and tests: blocks until every worker started so far
// has returned, and returns how the last of them to finish ended (done when
// none ever ran). The command line starts one at a time, so that is the
// operation its press started. Never call it on a window's UI thread (a
// worker may be waiting for that thread).
Outcome WaitForWorkers();

// The number of workers started since the process began.
uint64_t WorkersStarted();

}  // namespace zvp
