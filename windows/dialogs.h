// The two modal dialogs the core asks for through the window surface. Both
// run on the UI thread, owned by the main window.
#pragma once

#include <optional>
#include <string>

#include "core/window_surface.h"
#include "windows/win32.h"

namespace zvp::win {

// SetCount (dialog 101): the counters' start values and the six
// failure-count choices. True on OK, with *dialog holding what the user left
// in it (each text at most 15 characters); Cancel leaves *dialog alone.
bool RunSetCount(HINSTANCE instance, HWND owner, CounterDialog* dialog);

// EditDialog (dialog 129): the new value of the byte at `address_text`,
// starting from `value`; the text as typed on OK (at most 99 characters),
// nullopt on Cancel.
std::optional<std::string> RunCodeEditDialog(HINSTANCE instance, HWND owner,
                                             const std::string& address_text,
                                             const std::string& value);

// The bit of count_flags behind each of SetCount's check boxes.
struct CountChoice {
  uint32_t bit;
  int id;
};
inline constexpr CountChoice kCountChoices[] = {
    {0x01, 1003}, {0x02, 1004}, {0x04, 1002}, {0x08, 1005}, {0x10, 1001}, {0x20, 1000},
};

}  // namespace zvp::win
