#include "posix/thread_priority_posix.h"

#include <pthread.h>
#include <sched.h>

namespace zvp {

// Any SCHED_FIFO priority already runs ahead of every normal thread, which is
// all the worker needs. The lowest one keeps it beneath the kernel's interrupt
// threads, among them the one that feeds the serial driver.
bool PosixThreadPriority::RaiseCurrentToTimeCritical() {
  const int lowest = sched_get_priority_min(SCHED_FIFO);
  if (lowest < 0) return false;
  sched_param param{};
  param.sched_priority = lowest;
  return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

}  // namespace zvp
