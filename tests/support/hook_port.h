// A serial-port decorator for tests that need to act in the middle of an
// operation: before each write a hook may let the write through, refuse it
// (the port takes nothing, as a driver whose write times out) or fail it (the
// device has gone); after each write a second hook may script the device or
// the state (a fault that starts with a certain header, the user's stop).
#pragma once

#include <functional>

#include "link/serial_port.h"

namespace zvp::test {

class HookPort final : public SerialPort {
 public:
  enum class WriteAction { kPass, kRefuse, kFail };
  using BeforeWrite = std::function<WriteAction(const uint8_t* buf, uint32_t n)>;
  using AfterWrite = std::function<void(const uint8_t* buf, uint32_t n)>;

  explicit HookPort(SerialPort* inner) : inner_(inner) {}

  BeforeWrite before_write;
  AfterWrite after_write;
  int refused = 0;  // writes refused or failed so far

  bool Open(const std::string& name) override { return inner_->Open(name); }
  void Close() override { inner_->Close(); }
  PortHandle Handle() const override { return inner_->Handle(); }
  bool SetupQueues(uint32_t in_bytes, uint32_t out_bytes) override {
    return inner_->SetupQueues(in_bytes, out_bytes);
  }
  bool ClearErrors() override { return inner_->ClearErrors(); }
  bool ClearBreak() override { return inner_->ClearBreak(); }
  bool Purge() override { return inner_->Purge(); }
  bool SetLine(const LineSettings& settings) override { return inner_->SetLine(settings); }
  bool SetTimeouts(const CommTimeouts& t) override { return inner_->SetTimeouts(t); }
  bool RaiseRts() override { return inner_->RaiseRts(); }
  bool WatchTxEmpty() override { return inner_->WatchTxEmpty(); }
  bool WaitTxEmpty(uint32_t timeout_ms) override { return inner_->WaitTxEmpty(timeout_ms); }
  bool Read(uint8_t* buf, uint32_t n, uint32_t* got) override { return inner_->Read(buf, n, got); }
  bool Write(const uint8_t* buf, uint32_t n, uint32_t* done) override {
    *done = 0;
    const WriteAction action = before_write ? before_write(buf, n) : WriteAction::kPass;
    if (action != WriteAction::kPass) {
      ++refused;
      return action == WriteAction::kRefuse;
    }
    const bool ok = inner_->Write(buf, n, done);
    if (after_write) after_write(buf, n);
    return ok;
  }

 private:
  SerialPort* inner_;
};

}  // namespace zvp::test
