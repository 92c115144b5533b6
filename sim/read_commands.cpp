// Reading back: chip checksum (2), verify against the memory (5), block reads
// of the chip (10) and of the memory (15), copying the chip into the memory
// (16). Not built yet: the header answer is all the PC gets.
#include "sim/virtual_programmer.h"

namespace zvp {

void VirtualProgrammer::OnChipChecksum(const Header&, int64_t) {}
void VirtualProgrammer::OnVerify(const Header&, int64_t) {}
void VirtualProgrammer::OnReadBlock(const Header&, int64_t) {}
void VirtualProgrammer::OnCopyChip(const Header&, int64_t) {}

}  // namespace zvp
