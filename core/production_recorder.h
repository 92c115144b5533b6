// Where a finished auto-program run is recorded, when a front end keeps a
// production log (the window's daily file). Called on the operation worker
// once the run has been counted.
#pragma once

namespace zvp {

class ProductionRecorder {
 public:
  virtual ~ProductionRecorder() = default;
  virtual void AutoRunFinished() = 0;
};

}  // namespace zvp
