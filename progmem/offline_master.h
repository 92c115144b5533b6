// Making an offline master: the programmer gets the code and the complete
// programming settings, so that its own button programs chips without a PC.
#pragma once

namespace zvp {

void MakeOfflineMaster();

}  // namespace zvp
