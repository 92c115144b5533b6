// The main window as a front end implements it: every seam the core reaches
// the window through, in one class. The core itself only ever talks to the
// narrow seams (App().status, dialogs, controls, view_list, frame, boxes); the
// front ends (the Win32 window, the headless window of the command line and
// the tests) implement all of them and install themselves with
// InstallWindow.
#pragma once

#include "core/code_view_list.h"
#include "core/operation_boxes.h"
#include "core/status_display.h"
#include "core/user_dialogs.h"
#include "core/window_controls.h"
#include "core/window_frame.h"

namespace zvp {

class WindowSurface : public StatusDisplay,
                      public UserDialogs,
                      public WindowControls,
                      public CodeViewList,
                      public WindowFrame {
 public:
  // The boxes the operations write, over this window's controls (a
  // ui/window_boxes WindowBoxes the front end holds).
  virtual OperationBoxes& BoxesSeam() = 0;
};

// Installs `window` (or, with nullptr, nothing) as every window seam of App().
void InstallWindow(WindowSurface* window);

}  // namespace zvp
