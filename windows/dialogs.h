// The modal dialogs the core asks for through the window surface. All run
// on the UI thread, owned by the main window.
#pragma once

#include <optional>
#include <string>

#include "core/window_surface.h"
#include "windows/resource.h"
#include "windows/win32.h"

namespace zvp::win {

// SetCount (IDD_SETCOUNT): the counters' start values and the six
// failure-count choices. True on OK, with *dialog holding what the user left
// in it (each text at most 15 characters); Cancel leaves *dialog alone.
bool RunSetCount(HINSTANCE instance, HWND owner, CounterDialog* dialog);

// EditDialog (IDD_EDITCODE): the new value of the byte at `address_text`,
// starting from `value`; the text as typed on OK (at most 99 characters),
// nullopt on Cancel.
std::optional<std::string> RunCodeEditDialog(HINSTANCE instance, HWND owner,
                                             const std::string& address_text,
                                             const std::string& value);

// The other serial ports (IDD_PORTS): the ports present with their devices,
// and a box for a typed name, checked before the dialog closes. The port
// chosen ("COM7") on OK, nullopt on Cancel; `current` ("" for none) starts
// the box and the list's selection.
std::optional<std::string> RunOtherPortDialog(HINSTANCE instance, HWND owner,
                                              const std::string& current);

// The bit of count_flags behind each of SetCount's check boxes.
struct CountChoice {
  uint32_t bit;
  int id;
};
inline constexpr CountChoice kCountChoices[] = {
    {0x01, IDC_COUNT_READ_PROTECT}, {0x02, IDC_COUNT_LDC_PROTECT}, {0x04, IDC_COUNT_BLANK},
    {0x08, IDC_COUNT_HW_PROTECT},   {0x10, IDC_COUNT_SMART},       {0x20, IDC_COUNT_ERASE},
};

}  // namespace zvp::win
