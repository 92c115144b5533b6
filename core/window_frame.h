// The main window as a whole: its timers, its visible region and closing it.
#pragma once

#include <cstdint>

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
};

}  // namespace zvp
