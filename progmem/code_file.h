// Reading the code file named in the file box into the code buffer: Intel
// HEX text (.hex, .obj, any other name) or a raw image (.bin).
#pragma once

#include "core/outcome.h"

namespace zvp {

// Loads the file in the file box; sets the range, the address and checksum
// boxes and the status line. link_fault = 1 when nothing was loaded: the
// load failed, or (declined) the user would not take a .bin of HEX text as
// an image.
Outcome LoadCodeFile();

// The file-open dialog; true when the user chose a file (its path is then in
// the file box).
bool ChooseCodeFile();

}  // namespace zvp
