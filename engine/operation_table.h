// Every operation the engine runs, in one table: its code, the word the
// command line presses its button with, the name the production log gives
// it as a step of auto program, what its button checks before it starts,
// and what runs (with the variant the debug-mode box chooses, where there is
// one). The engine dispatches through it; the dispatcher, the command line
// and the production log read it, and the main window's button of each is
// in ui/operation_buttons.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/outcome.h"

namespace zvp {

// What a button checks before its operation starts, each refusing with its
// own box or status line. The dispatcher applies them in the entry's order,
// and the order matters: the range is read before the checksum's range is
// compared with it, but only after the memory checks for the buttons whose
// warning about the memory comes first.
enum class Guard : uint8_t {
  kNone,
  kMemoryNotEdited,  // refuses a programmer memory changed by hand since the download
  kCodeInMemory,     // needs code in the programmer memory
  kRangeRead,        // reads the address boxes and refuses a box that holds no address
  kChecksumOfRange,  // the memory checksum was taken over the range read
};

struct OperationEntry {
  uint8_t code;
  const char* word;       // the command line's word, or nullptr
  const char* argument;   // what the word takes, as the usage names it, or nullptr
  const char* step_name;  // its name as an auto-program step, or nullptr
  std::array<Guard, 3> guards;  // checked in this order, up to the first kNone
  Outcome (*run)(uint8_t code);
  Outcome (*run_debug)(uint8_t code);  // nullptr: the same in debug mode
};

std::span<const OperationEntry> Operations();

// The entry of `code`, or of `word`; nullptr when there is none.
const OperationEntry* FindOperation(uint8_t code);
const OperationEntry* FindOperationByWord(std::string_view word);

// The usage's list of commands: `first`, the table's words in its order
// (each with its argument), then `last`, filled into lines of at most 80
// columns, each indented by two spaces and ended by a newline.
std::string CommandListLines(std::string_view first, std::string_view last);

// Runs the operation of `code` on the calling thread, the debug-mode variant
// while the box is ticked. Codes below 30 that name no operation run
// nothing; every code from 30 on is the code view's, which receives it.
// Returns how it ended; RunOperation makes a done that left link_fault set
// a failure.
Outcome DispatchOperation(uint8_t code);

}  // namespace zvp
