// The erase, option and protection commands (4, 6, 7, 8, 9): one header
// exchange whose 2-byte answer is the verdict, "OK" or "NO".
#pragma once

#include <cstdint>

#include "core/outcome.h"

namespace zvp {

// Sends `command` (4 erase MTP, 6 SMART, 7 read protection, 8 LDC protection,
// 9 hardware write protection) and judges the answer. The address fields of
// the header go out as the previous operation left them.
Outcome OptionCommand(uint8_t command);

}  // namespace zvp
