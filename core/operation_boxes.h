// What the layers below the user interface show in the main window's boxes,
// and the few boxes they read back at the moment they need them. A box
// here is read by the operation rather than taken from OperatorChoices when
// the operation itself (or the step before it) may have written it just
// before. Implemented in ui/ over the window's controls (ui/window_boxes);
// texts are UTF-8. Called on the worker or the UI thread, whichever runs the
// operation or the connection.
#pragma once

#include <cstdint>
#include <string>

namespace zvp {

enum class RangeBox { kStart, kEnd };

class OperationBoxes {
 public:
  virtual ~OperationBoxes() = default;

  // The checksum box ("编程内存检查和:"): the programmer memory's sum as it
  // was last shown, "XXXX" once that is no longer known, empty before any.
  // Read each time a header is built (its bytes 8-9; the connection has
  // just forgotten the sum, the offline master has just shown its own) and
  // when the sum is forgotten; written by the memory checksum, a file load,
  // a copy of the chip and the offline master.
  virtual std::string ChecksumText() = 0;
  virtual void ShowChecksum(const std::string& text) = 0;

  // The start- and end-address boxes. Read whenever the working range is
  // taken (before an operation starts, and by the offline master after its
  // own download rewrote them); written with a range that was corrected or
  // that now stands for the programmer memory.
  virtual std::string AddressText(RangeBox box) = 0;
  virtual void ShowAddress(RangeBox box, const std::string& text) = 0;

  // The file box: the code file's path. Read when the file is loaded, which
  // may be right after the open dialog of the same operation set it.
  virtual std::string FileName() = 0;
  virtual void ShowFileName(const std::string& path) = 0;

  // The counters' boxes, each time the auto-program sequence counts a chip.
  virtual void ShowPassCount(const std::string& text) = 0;
  virtual void ShowFailCount(const std::string& text) = 0;

  // The code view: its address box (code 31 takes the page from it, and it
  // shows the page being shown) and its two modes, read as the page loads
  // (the view's controls are locked meanwhile).
  virtual std::string ViewAddressText() = 0;
  virtual void ShowViewAddress(const std::string& text) = 0;
  virtual bool ViewShowsChip() = 0;
  virtual bool ViewShowsAscii() = 0;

  // The debug box ("调试模式"), read when the worker dispatches the
  // operation and wherever the operation asks again: a tick between the
  // click and the worker's start counts.
  virtual bool DebugModeTicked() = 0;

  // The programmer was lost: the reconnect timer now ticks every period_ms
  // (each tick looks for the programmer as the reset watch does).
  virtual void ArmReconnectTimer(uint32_t period_ms) = 0;
};

}  // namespace zvp
