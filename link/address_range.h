// Reads the start- and end-address boxes of the main window into the working
// range (AppState::range_start, range_end), correcting the boxes where the
// range had to be clamped.
#pragma once

namespace zvp {

// What the status line says when an address box holds no address, or when
// an operation finds its range inverted; nothing is sent then.
extern const char kRangeRejectedText[];

// 0 on success, with range_start <= range_end <= 0x7FFF; -1 when a box
// holds a character outside kHexCharSet, and then neither field changes.
// Callers must not start an operation on -1: the fields would be stale.
int ReadAddressRange();

}  // namespace zvp
