// The operations' boxes (core/operation_boxes.h) over a window's controls:
// each front end's window holds one and installs it with the window.
#pragma once

#include "core/operation_boxes.h"
#include "core/window_surface.h"

namespace zvp {

class WindowBoxes final : public OperationBoxes {
 public:
  explicit WindowBoxes(WindowSurface& window) : window_(window) {}

  std::string ChecksumText() override;
  void ShowChecksum(const std::string& text) override;
  std::string AddressText(RangeBox box) override;
  void ShowAddress(RangeBox box, const std::string& text) override;
  std::string FileName() override;
  void ShowFileName(const std::string& path) override;
  void ShowPassCount(const std::string& text) override;
  void ShowFailCount(const std::string& text) override;
  std::string ViewAddressText() override;
  void ShowViewAddress(const std::string& text) override;
  bool ViewShowsChip() override;
  bool ViewShowsAscii() override;
  bool DebugModeTicked() override;
  void ArmReconnectTimer(uint32_t period_ms) override;

 private:
  WindowSurface& window_;
};

}  // namespace zvp
