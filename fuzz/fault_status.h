// The rule for the status line after a failed operation: when an operation
// ends with link_fault set, the status line turns red and must say what
// failed. A text that still reads as work in progress (it ends in "....." or
// "......", asks the user to wait with "请稍候" other than in the advice
// "请稍候再试", or shows the address being worked on) tells the user
// nothing, and neither does the text from before the operation.
//
// ZVP_FAULT_STATUS selects how the reply fuzzer applies the rule (the test
// run enforces it):
//   unset       the rule is not checked;
//   report      each distinct (operation, status) breach is printed once and
//               the first input showing it saved in ZVP_FAULT_STATUS_DIR
//               (default: the current folder);
//   enforce     the first breach aborts the run, so that libFuzzer keeps and
//               can minimise the input; with ZVP_FAULT_STATUS_ONLY set to a
//               breach's key ("operation | status") only that one does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/reply_world.h"

namespace zvp::fuzz {

// True for the texts of work in progress the rule forbids.
bool IsInProgressText(const std::string& status);

// The key a breach is reported under: the operation and its status text with
// the address digits after "地址:" replaced by "<addr>", so that one path
// failing at many addresses is one breach.
std::string BreachKey(const OperationEnd& end);

// Applies the rule as ZVP_FAULT_STATUS says, to the operation that `data`
// ran.
void CheckFaultStatus(const OperationEnd& end, const uint8_t* data, size_t size);

}  // namespace zvp::fuzz
