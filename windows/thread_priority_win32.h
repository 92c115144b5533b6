// Thread priority on Windows: the operation worker runs time-critical so that
// the serial time-outs of a transfer are not stretched by other programs.
#pragma once

#include "core/thread_priority.h"

namespace zvp {

class Win32ThreadPriority final : public ThreadPriority {
 public:
  bool RaiseCurrentToTimeCritical() override;
};

}  // namespace zvp
