// A clock whose time moves only when someone waits: a 27-second time-out
// passes in microseconds of real time, and every run gives the same times.
#pragma once

#include <atomic>

#include "core/clock.h"

namespace zvp {

class VirtualClock final : public Clock {
 public:
  int64_t NowUs() override { return now_us_.load(); }
  void SleepUs(int64_t us) override {
    if (us > 0) now_us_.fetch_add(us);
  }

 private:
  std::atomic<int64_t> now_us_{0};
};

}  // namespace zvp
