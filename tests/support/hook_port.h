// A serial-port decorator for tests that need to act in the middle of an
// operation: before each write a hook may let the write through, refuse it
// (the port takes nothing, as a driver whose write times out) or fail it (the
// device has gone); after each write a second hook may script the device or
// the state (a fault that starts with a certain header, the user's stop).
#pragma once

#include <functional>

#include "core/forwarding_port.h"

namespace zvp::test {

class HookPort final : public ForwardingPort {
 public:
  enum class WriteAction { kPass, kRefuse, kFail };
  using BeforeWrite = std::function<WriteAction(const uint8_t* buf, uint32_t n)>;
  using AfterWrite = std::function<void(const uint8_t* buf, uint32_t n)>;

  explicit HookPort(SerialPort* inner) : ForwardingPort(inner) {}

  BeforeWrite before_write;
  AfterWrite after_write;
  int refused = 0;  // writes refused or failed so far

  bool Write(const uint8_t* buf, uint32_t n, uint32_t* done) override {
    *done = 0;
    const WriteAction action = before_write ? before_write(buf, n) : WriteAction::kPass;
    if (action != WriteAction::kPass) {
      ++refused;
      return action == WriteAction::kRefuse;
    }
    const bool ok = inner()->Write(buf, n, done);
    if (after_write) after_write(buf, n);
    return ok;
  }
};

}  // namespace zvp::test
