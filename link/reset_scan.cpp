#include "link/reset_scan.h"

#include <cstring>

#include "core/app_state.h"
#include "core/protocol.h"
#include "core/trace_sink.h"

namespace zvp {

namespace {

constexpr uint32_t kMessageSize = sizeof kResetMessage - 1;

// How many bytes of the message are matched after `matched` of them were
// and `byte` came: the longest start of the message that the bytes so far
// end in. The message is nine bytes, so the search is short.
uint32_t Advance(uint32_t matched, uint8_t byte) {
  for (uint32_t k = matched + 1; k > 0; --k) {
    // The last k bytes: the last k - 1 of the matched part, then `byte`.
    if (static_cast<uint8_t>(kResetMessage[k - 1]) != byte) continue;
    if (std::memcmp(kResetMessage, kResetMessage + (matched + 1 - k), k - 1) == 0) return k;
  }
  return 0;
}

}  // namespace

void ListenForReset(const uint8_t* data, uint32_t n) {
  AppState& app = App();
  uint32_t matched = app.reset_matched;
  for (uint32_t i = 0; i < n; ++i) {
    matched = Advance(matched, data[i]);
    if (matched == kMessageSize) {
      app.reset_heard = true;
      if (app.trace) app.trace->Line("RESET", "heard");
      matched = 0;
    }
  }
  app.reset_matched = matched;
}

bool ResetMessageUnderway() { return App().reset_matched >= 2; }

void ForgetListenedBytes() {
  AppState& app = App();
  app.reset_matched = 0;
  app.reset_heard = false;
}

}  // namespace zvp
