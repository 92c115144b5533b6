// The production counters' buttons: clear and pause/start counting.
#pragma once

namespace zvp {

// Asks for confirmation, then sets both counts and their boxes to zero.
void ClearCounters();

// The counter-settings dialog: start values (right-aligned to six digits)
// and the six failure-count choices; accepting resumes counting.
void EditCounterSettings();

// Pauses counting (caption "开始计数", boxes greyed) or resumes it.
void ToggleCounting();

}  // namespace zvp
