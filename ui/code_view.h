// The code view: one page of 256 bytes of the programmer memory or the chip.
#pragma once

namespace zvp {

// Prepares the view the first time it is shown: page 0, the programmer-memory
// view, hexadecimal. On the UI thread.
void SetupCodeView();

}  // namespace zvp
