// The production run of the command line: auto, chip after chip with
// --repeat while the operator feeds them, each run logged with --log.
#pragma once

#include <optional>

#include "cli/session.h"
#include "core/outcome.h"

namespace zvp::cli {

// One auto-program run, logged when it ran (a guard that refused ran
// nothing), with its record; nothing when nothing ran. A line the log could
// not take is said with the chip it belongs to and printed in full; the
// chip's own result stands.
std::optional<Outcome> RunAuto(Session& s, AutoRunRecord* run);

// The production run: chip after chip until the input ends, then the
// totals. True only when every chip passed.
bool RunProduction(Session& s);

}  // namespace zvp::cli
