#include "link/operations.h"

#include "link/engine.h"

namespace zvp {

// Operations join this table as they are built; until then their codes run
// only the engine's start and end steps.
void RunProgrammerOperation(uint8_t code) {
  switch (code) {
    default:
      break;
  }
}

void RunViewOperation(uint8_t code) { (void)code; }

bool OperationAvailable(uint8_t code) {
  switch (code) {
    default:
      return false;
  }
}

}  // namespace zvp
