// The main window's button that starts each operation of the engine's table
// (engine/operation_table): the command line presses it for the operation's
// word, through the dispatcher and its guards.
#pragma once

#include <cstdint>

#include "engine/operation_table.h"

namespace zvp {

// The button of the operation `code`, or 0 for an operation no button of
// its own starts (a step of auto program, F7's memory initialisation).
int OperationButton(uint8_t code);

// The entry of the operation the button `id` starts; nullptr for a button
// that starts no operation of the table.
const OperationEntry* OperationOfButton(int id);

}  // namespace zvp
