// The status line and the cursor: how an operation shows its progress and
// its outcome (the status text drawn red while link_fault is set, the wait
// cursor while busy). Texts are UTF-8. The Win32 window carries a worker's
// call to the UI thread and waits until it has taken it.
#pragma once

#include <string>

#include "core/progress.h"

namespace zvp {

class StatusDisplay {
 public:
  virtual ~StatusDisplay() = default;
  // Replaces the whole text of the status line (the read-only box 157).
  virtual void SetStatus(const std::string& text) = 0;
  virtual std::string Status() = 0;
  // Shows how far the running operation has got, in ProgressText's words.
  // A front end that draws progress its own way overrides it (and shows the
  // same words).
  virtual void ShowProgress(const Progress& progress) { SetStatus(ProgressText(progress)); }
  // Draws the status line at once: the UI thread is about to be busy.
  virtual void RepaintStatus() = 0;
  // The cursor follows `busy` (the wait cursor while an operation runs).
  virtual void UpdateCursor() = 0;
};

}  // namespace zvp
