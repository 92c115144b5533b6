// The clock seam: a monotonic time and a way to wait. The real clock sleeps;
// the virtual clock (sim/virtual_clock.h) only moves its time forward, so a
// 27-second wait costs nothing in a test.
#pragma once

#include <cstdint>

namespace zvp {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t NowUs() = 0;
  virtual void SleepUs(int64_t us) = 0;
};

// std::chrono::steady_clock and std::this_thread::sleep_for.
class SystemClock final : public Clock {
 public:
  int64_t NowUs() override;
  void SleepUs(int64_t us) override;
};

}  // namespace zvp
