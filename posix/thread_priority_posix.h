// Thread priority on POSIX systems: the operation worker asks for real-time
// scheduling so that the serial time-outs of a transfer are not stretched by
// other programs. Without the privilege (the usual case) the request is
// refused and the worker runs at normal priority.
#pragma once

#include "core/thread_priority.h"

namespace zvp {

class PosixThreadPriority final : public ThreadPriority {
 public:
  bool RaiseCurrentToTimeCritical() override;
};

}  // namespace zvp
