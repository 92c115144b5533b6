// The main window as a whole: its timers, its visible region and closing it.
#pragma once

#include <cstdint>
#include <functional>

namespace zvp {

class WindowFrame {
 public:
  virtual ~WindowFrame() = default;
  virtual void ArmTimer(int id, uint32_t period_ms) = 0;
  // Clips the main window to width x height pixels from its top-left corner
  // (700 x 440 hides the counter group, 700 x 700 shows it).
  virtual void SetWindowRegion(int width, int height) = 0;
  // Asks the main window to close (the quit button).
  virtual void RequestClose() = 0;
  // Runs `task` on the window's UI thread and returns once it has run (at
  // once when called there), so that what the task changes has one owner.
  // A window without a UI thread of its own runs it on the calling thread;
  // a window that is gone runs nothing.
  virtual void RunOnUiThread(const std::function<void()>& task) = 0;
};

}  // namespace zvp
