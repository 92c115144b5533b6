// Reads the start- and end-address boxes of the main window into the working
// range (AppState::range_start, range_end), correcting the boxes where the
// range had to be clamped.
#pragma once

namespace zvp {

// 0 on success; -1 when a box holds a character outside kHexCharSet (the
// fields read before the bad box keep their new values).
int ReadAddressRange();

}  // namespace zvp
