// The messages between the custom controls, the operation engine and the
// main window. All are sent, never posted: the sender waits for the answer.
#pragma once

#include "windows/win32.h"

namespace zvp::win {

// A button's click or Enter: wParam = control id, lParam = its parent window.
constexpr UINT kMsgCommand = WM_USER + 1;
// From the status line's group box: answers 1 while the last transfer failed.
constexpr UINT kMsgStatusFault = WM_USER + 4;
// The web-link label: pressed, and released (answers 1 when a press was
// recorded).
constexpr UINT kMsgLinkPressed = WM_USER + 5;
constexpr UINT kMsgLinkReleased = WM_USER + 6;
// A double-click at the start of the status line: stop the running transfer.
constexpr UINT kMsgAbort = WM_USER + 7;
// To the code-view mode controls: lParam != 0 locks them, 0 unlocks.
constexpr UINT kMsgLock = WM_USER + 8;
// A function key F2..F12 released on a button: wParam = virtual key code.
constexpr UINT kMsgFunctionKey = WM_USER + 9;
// A window-surface call from another thread, run on the UI thread:
// lParam = the call (const std::function<void()>*).
constexpr UINT kMsgInvoke = WM_APP + 1;

// The application's main window, where the custom controls send their
// messages; null while there is none (the messages then go nowhere).
void SetAppMainWindow(HWND main);
HWND AppMainWindow();

}  // namespace zvp::win
