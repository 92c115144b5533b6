// The chip's commands: blank check (3), program from memory (11), the erase,
// option and protection commands (4, 6, 7, 8, 9) and direct programming (19).
// Not built yet: the header answer is all the PC gets.
#include "sim/virtual_programmer.h"

namespace zvp {

void VirtualProgrammer::OnBlankCheck(const Header&, int64_t) {}
void VirtualProgrammer::OnProgram(const Header&, int64_t) {}
void VirtualProgrammer::OnOption(const Header&, int64_t) {}
void VirtualProgrammer::OnProgramDirect(const Header&, int64_t) {}
void VirtualProgrammer::OnDirectByte(uint8_t, int64_t) {}
void VirtualProgrammer::OnDirectEnd(int64_t) {}

}  // namespace zvp
