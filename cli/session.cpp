#include "cli/session.h"

#include <iostream>

#include "engine/engine.h"

namespace zvp::cli {

std::optional<Outcome> Press(HeadlessWindow& w, int button) {
  if (!w.IsEnabled(button)) {
    // The window greys the MTP-only buttons for an OTP chip; a user could
    // not press them, and neither can the command line.
    std::cerr << "zvp: that button is greyed out for the chosen chip type\n";
    return std::nullopt;
  }
  const uint64_t before = WorkersStarted();
  w.Click(button);
  const Outcome outcome = WaitForWorkers();
  if (WorkersStarted() == before) return std::nullopt;
  return outcome;
}

}  // namespace zvp::cli
