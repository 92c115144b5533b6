// The small rules of the window's controls, kept apart from the window code
// so that the tests can check them one by one: how a table entry becomes a
// platform control, the colours of the main window's children, what counts
// as a click inside, what the edit boxes accept.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ui/control_table.h"
#include "windows/win32.h"

namespace zvp::win {

// The platform control for an entry of the control table.
struct PlatformControl {
  const wchar_t* window_class;
  DWORD style;
  DWORD ex_style;
};
// `tab_stop` marks the radio button that takes the Tab key for its group
// (the first radio button under its parent); other kinds ignore it.
PlatformControl PlatformControlFor(const ControlSpec& entry, bool tab_stop);

// The main window's text colour for its direct child `child_id` (the group
// boxes and the web-link label); nullopt leaves the platform's colouring.
std::optional<COLORREF> MainTextColour(int child_id, bool label_pressed);

// The status line's text colour, red after a failed transfer.
COLORREF StatusTextColour(bool fault);

// A release counts as a click only strictly inside the client rectangle:
// a point on the left or top edge is outside.
bool StrictlyInside(const RECT& rect, POINT p);
// A double-click on the status line asks for a stop only within the first
// 140 pixels of its formatting rectangle.
bool InAbortZone(const RECT& format_rect, POINT p);

// The edit boxes take hex digits and backspace only; the file box takes
// every character.
bool EditAccepts(int id, wchar_t ch);

// F2..F12: the keys a focused button reports to the main window.
bool IsFunctionKey(WPARAM virtual_key);

// A plain or default push button (button type bits 1..7 all clear), whose
// default-button look goes when it loses the focus.
bool HasPushButtonType(LONG_PTR style);

// Texts kept with every character code raised by one, as the program stores
// its web address.
std::wstring DecodeRaised(std::string_view stored);

// The address the web-link label opens.
std::wstring LinkAddress();

}  // namespace zvp::win
