// The offline configuration (17). Not built yet: the header answer is all
// the PC gets.
#include "sim/virtual_programmer.h"

namespace zvp {

void VirtualProgrammer::OnOfflineConfig(const Header&, int64_t) {}

}  // namespace zvp
