#include "windows/thread_priority_win32.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace zvp {

bool Win32ThreadPriority::RaiseCurrentToTimeCritical() {
  return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != FALSE;
}

}  // namespace zvp
