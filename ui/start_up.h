// The main window's start-up state, applied once after its controls exist.
#pragma once

namespace zvp {

// Count boxes, the debug box, the state flags, the hidden code view, the
// erased buffer, the reset-poll timer, the stored settings (which may connect
// the saved port), the address boxes and the voltage boxes, in that order.
void InitialiseMainWindow();

}  // namespace zvp
