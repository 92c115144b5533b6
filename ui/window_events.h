// The main window's answers to its custom controls and to the engine, in
// portable form; the Win32 window maps its messages onto them.
#pragma once

#include "core/outcome.h"

namespace zvp {

// The status line draws red while this is true (a transfer failed).
bool StatusShowsFault();
// The cursor is the wait cursor while an operation runs.
bool CursorIsWait();
// The web-link label: a press, and a release that answers whether a press
// was recorded.
void OnLinkPressed();
bool OnLinkReleased();
// A double-click on the status line asks a running transfer to stop.
void OnAbortRequested();
// What the window does with a request to close (the close button, Alt+F4,
// the system menu, "退出编程").
enum class CloseAnswer { kClose, kCloseWhenIdle, kStayOpen };
// While nothing runs the window closes. While an operation runs it asks
// first: Yes stops the running transfer as the double-click on the status
// line does, and the window closes once the operation has ended (it stays
// responsive meanwhile); No keeps working. On the UI thread.
CloseAnswer OnCloseRequested();

// A function key F2..F12 released on a button (virtual key code 0x71..0x7B):
// F5 shows the greeting, F7 offers to initialise the programmer memory.
// Returns how the key's operation ended: F7 answered No, or pressed while an
// operation runs, is declined; a key that runs no operation is done.
Outcome OnFunctionKey(int virtual_key);

}  // namespace zvp
