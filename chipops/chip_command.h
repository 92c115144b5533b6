// The two steps every chip operation shares: starting the command (header,
// start acknowledgement, voltage errors) and following the programmer's
// progress addresses.
#pragma once

#include <cstdint>
#include <string>

#include "core/progress.h"

namespace zvp {

// Writes the working range and `command` into the header and exchanges it,
// then waits for the 2-byte start acknowledgement ('E' = supply-voltage
// error). With `reconnect`, a programmer that does not answer the header is
// reported lost (ReportProgrammerLost). A start acknowledgement that never
// comes ends the operation with `no_answer_text`, the operation's own
// failure text. An inverted range is refused before anything is sent. True
// when the chip operation may go on.
bool StartChipCommand(uint8_t command, bool reconnect, const std::string& no_answer_text);

// Reads 3-byte progress addresses while they stay below `limit`, showing
// the stage's progress at each, waiting `pause_ms` before each read.
// Returns the last address reported (range_start when none came).
uint32_t FollowProgress(ProgressStage stage, uint32_t limit, uint32_t pause_ms);

}  // namespace zvp
