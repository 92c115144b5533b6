// Every operation the engine runs, in one table: its code, the word the
// command line presses its button with, the name the production log gives
// it as a step of auto program, and what runs (with the variant the
// debug-mode box chooses, where there is one). The engine dispatches through
// it; the command line and the production log read it, and the main window's
// button of each is in ui/operation_buttons.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace zvp {

struct OperationEntry {
  uint8_t code;
  const char* word;       // the command line's word, or nullptr
  const char* step_name;  // its name as an auto-program step, or nullptr
  void (*run)(uint8_t code);
  void (*run_debug)(uint8_t code);  // nullptr: the same in debug mode
};

std::span<const OperationEntry> Operations();

// The entry of `code`, or of `word`; nullptr when there is none.
const OperationEntry* FindOperation(uint8_t code);
const OperationEntry* FindOperationByWord(std::string_view word);

// Runs the operation of `code` on the calling thread, the debug-mode variant
// while the box is ticked. Codes below 30 that name no operation run
// nothing; every code from 30 on is the code view's, which receives it.
void DispatchOperation(uint8_t code);

}  // namespace zvp
