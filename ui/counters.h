// The production counters' buttons: clear and pause/start counting.
#pragma once

namespace zvp {

// Asks for confirmation, then sets both counts and their boxes to zero.
void ClearCounters();

// Pauses counting (caption "开始计数", boxes greyed) or resumes it.
void ToggleCounting();

}  // namespace zvp
