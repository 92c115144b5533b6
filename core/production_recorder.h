// Where a finished auto-program run is recorded: the window's daily
// production log, the command line's own record of the run it pressed for.
// Called on the operation worker once the run has been counted, with the
// run's record.
#pragma once

#include "core/outcome.h"

namespace zvp {

class ProductionRecorder {
 public:
  virtual ~ProductionRecorder() = default;
  virtual void AutoRunFinished(const AutoRunRecord& run) = 0;
};

}  // namespace zvp
