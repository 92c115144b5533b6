// The programmer memory's commands: initialise (12), checksum (13) and
// download (14). Not built yet: the header answer is all the PC gets.
#include "sim/virtual_programmer.h"

namespace zvp {

void VirtualProgrammer::OnInitMemory(const Header&, int64_t) {}
void VirtualProgrammer::OnMemoryChecksum(const Header&, int64_t) {}
void VirtualProgrammer::OnDownload(const Header&, int64_t) {}
void VirtualProgrammer::OnDownloadByte(uint8_t, int64_t) {}
void VirtualProgrammer::OnDownloadEnd(int64_t) {}

}  // namespace zvp
