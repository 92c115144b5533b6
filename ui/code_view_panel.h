// The code view's panel on the UI thread: swapping it in for the upper
// panel and back, and preparing it the first time it is shown. The page
// itself is filled by the code-view operation (engine/code_view).
#pragma once

namespace zvp {

// 1 swaps the upper panel for the code view; 0 swaps back.
void ShowCodeView(int show);

// Prepares the view the first time it is shown: the list's columns, page 0,
// the programmer-memory view, hexadecimal.
void SetupCodeView();

}  // namespace zvp
