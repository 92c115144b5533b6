// The code view: one page of 256 bytes of the programmer memory or the chip.
#pragma once

#include <cstdint>

#include "core/outcome.h"

namespace zvp {

// The code-view operation, on the worker (codes 30 and above): 31 takes the
// page from the display-address box, 33 and 34 step a page back and
// forward, every other code shows the current page again. Fills the list's
// 16 rows, the status line and the display-address box. Failed when the box
// holds no address or the page could not be read.
Outcome RefreshCodeView(uint8_t code);

}  // namespace zvp
