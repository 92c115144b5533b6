// The thread-priority seam: the operation worker asks for time-critical
// priority (on Windows THREAD_PRIORITY_TIME_CRITICAL); elsewhere it is best
// effort and may do nothing.
#pragma once

namespace zvp {

class ThreadPriority {
 public:
  virtual ~ThreadPriority() = default;
  // Raises the calling thread; returns whether the platform agreed.
  virtual bool RaiseCurrentToTimeCritical() = 0;
};

}  // namespace zvp
