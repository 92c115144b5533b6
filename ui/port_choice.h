// The window's ports beyond its four port buttons: the names a user may type,
// the stored "com" value that keeps the choice, and the start option that
// ties a window to one programmer's port on a bench with several.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zvp {

// Port numbers a name may carry: COM1 to COM256.
constexpr int kHighestPortNumber = 256;

// n for a text that names the serial port COMn: "COM" in any case and a
// number from 1 to 256 without leading zeros. Blanks around it and before
// the number, the device namespace in front, a colon after and full-width
// letters are allowed (" com 7 ", "\\.\COM7", "COM7:" and "ＣＯＭ７" are
// COM7). nullopt for anything else ("COM0", "COM07", "COM257", "LPT1", "7").
std::optional<int> ParsePortNumber(std::string_view text);

// "COM7" for 7.
std::string PortName(int number);

// The text shown when `typed` names no port.
std::string NotAPortText(std::string_view typed);

// The stored "com" value and back: "com1" to "com256" ("com0" for none, as
// the window has always written). Read exactly, in lower case, as the other
// stored texts are; anything else (including "com0") is no port.
std::string StoredPortText(int number);
std::optional<int> PortOfStoredText(const std::string& text);

// The registry key under the current user that keeps a window's choices:
// "Software\zelvatool" for a window started without a port, a key of its
// own below it ("Software\zelvatool\COM5") for one started for COM5.
std::string SettingsKeyFor(int start_port);

// The window program's command line (the arguments after the program's
// name): --simulate, and --port COMn (or --port=COMn) for a window that belongs to the
// programmer on COMn. Other arguments are ignored, as they always were.
struct StartOptions {
  bool simulate = false;
  int port = 0;       // n of --port COMn, 0 without it
  std::string error;  // why the arguments cannot be used; empty when they can
};
StartOptions ParseStartOptions(const std::vector<std::string>& args);

// On the UI thread: records that the window uses COMn beyond the buttons
// (n >= 5; the port group's caption then names it) or, with 0, that it
// uses a button's port or none. The caption changes only when this does.
void SetOtherPort(int number);

// The caption of the port group while COMn is in use beyond the buttons.
std::string PortGroupCaption(int number);

}  // namespace zvp
