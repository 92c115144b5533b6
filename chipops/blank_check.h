// The blank check (command 3): is the chip erased over the working range?
#pragma once

namespace zvp {

// Asks the programmer to scan range_start..range_end and follows its progress
// addresses. A report beyond range_end means blank (link_fault 0); a report
// below it followed by silence names the first address that is not blank
// (link_fault 1). The verdict is on the status line.
void BlankCheck();

}  // namespace zvp
