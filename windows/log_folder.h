// Where the window program keeps its production log: the user's local
// application-data folder (%LOCALAPPDATA%\zelvatool\logs), UTF-8.
#pragma once

#include <string>

namespace zvp::win {

// The folder for the day files; with `simulated`, a folder of its own
// beneath it, so that runs against the built-in virtual programmer never
// mix with the real production. Empty when the system names no such folder.
std::string ProductionLogFolder(bool simulated);

}  // namespace zvp::win
