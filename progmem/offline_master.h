// Making an offline master: the programmer gets the code and the complete
// programming settings, so that its own button programs chips without a PC.
#pragma once

#include "core/outcome.h"

namespace zvp {

// Declined in debug mode and when the user answers No; a download that the
// user's stop cut short leaves the master unmade (failed, or interrupted).
Outcome MakeOfflineMaster();

}  // namespace zvp
