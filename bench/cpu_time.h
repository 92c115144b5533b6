// CPU time of the calling thread and of the whole process, in microseconds,
// for the benchmarks' CPU-over-wall figures.
#pragma once

#include <time.h>

#include <cstdint>

namespace zvp::bench {

inline int64_t CpuUs(clockid_t which) {
  timespec ts{};
  clock_gettime(which, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

inline int64_t ThreadCpuUs() { return CpuUs(CLOCK_THREAD_CPUTIME_ID); }
inline int64_t ProcessCpuUs() { return CpuUs(CLOCK_PROCESS_CPUTIME_ID); }

}  // namespace zvp::bench
