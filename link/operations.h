// The table from operation codes to the operations of the programmer-memory,
// chip and code-view parts of the program. The engine calls it on the worker.
#pragma once

#include <cstdint>

namespace zvp {

// Codes below 30. Codes that name no operation run nothing.
void RunProgrammerOperation(uint8_t code);

// Codes 30 and above: the code view, which receives the code itself.
void RunViewOperation(uint8_t code);

}  // namespace zvp
