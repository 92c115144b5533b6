// The messages between the custom controls, the operation engine and the
// main window. All are sent, never posted: the sender waits for the answer.
//
// They live in the WM_APP range, which belongs to the application alone. The
// WM_USER range does not: on a dialog (the main window is one) WM_USER+0..+2
// are the dialog manager's own (DM_GETDEFID, DM_SETDEFID, DM_REPOSITION), and
// a window class may give WM_USER numbers meanings of its own.
#pragma once

#include "windows/win32.h"

namespace zvp::win {

// A window-surface call from another thread, run on the UI thread:
// lParam = the call (const std::function<void()>*).
constexpr UINT kMsgInvoke = WM_APP + 1;
// A button's click or Enter: wParam = control id, lParam = its parent window.
constexpr UINT kMsgCommand = WM_APP + 2;
// From the status line's group box: answers 1 while the last transfer failed.
constexpr UINT kMsgStatusFault = WM_APP + 3;
// The web-link label: pressed, and released (answers 1 when a press was
// recorded).
constexpr UINT kMsgLinkPressed = WM_APP + 4;
constexpr UINT kMsgLinkReleased = WM_APP + 5;
// A double-click at the start of the status line: stop the running transfer.
constexpr UINT kMsgAbort = WM_APP + 6;
// To the code-view mode controls: lParam != 0 locks them, 0 unlocks.
constexpr UINT kMsgLock = WM_APP + 7;
// A function key F2..F12 released on a button: wParam = virtual key code.
constexpr UINT kMsgFunctionKey = WM_APP + 8;

// Above the range come the numbers RegisterWindowMessage hands out.
static_assert(kMsgFunctionKey < 0xC000);

// The application's main window, where the custom controls send their
// messages; null while there is none (the messages then go nowhere).
void SetAppMainWindow(HWND main);
HWND AppMainWindow();

}  // namespace zvp::win
