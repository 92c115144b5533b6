// The code view's list (control 159) and the lock on its three mode
// controls while a page loads.
#pragma once

#include <string>

namespace zvp {

class CodeViewList {
 public:
  virtual ~CodeViewList() = default;
  // Columns "ADDR" and "0".."F", grid lines, full-row selection, its blank
  // rows. Called once, on the UI thread.
  virtual void PrepareCodeViewList() = 0;
  // Cell texts: row 0..15, column 0 (the address) or 1..16 (the bytes).
  virtual void SetListCell(int row, int column, const std::string& text) = 0;
  virtual std::string ListCell(int row, int column) = 0;
  // Locks (true) or unlocks the three code-view mode controls.
  virtual void LockViewControls(bool locked) = 0;
};

}  // namespace zvp
