// The window's choices kept between runs: eight values under the program's
// key, read once at start-up (ending with the saved port's connection) and
// written once when the window closes. Store errors are silent: a value
// that cannot be read takes its default.
#pragma once

namespace zvp {

void LoadSettings();
void SaveSettings();

}  // namespace zvp
