// The header as StartOperation leaves it for an operation the test runs on
// its own thread: the operator's choices read from the test's window, kept
// for the operation, and the header built from them.
#pragma once

#include "core/app_state.h"
#include "link/operation_header.h"
#include "ui/window_choices.h"

namespace zvp::test {

inline void BuildHeaderFromWindow() {
  App().choices = ReadOperatorChoices();
  BuildOperationHeader(App().choices);
}

}  // namespace zvp::test
