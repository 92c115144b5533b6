// A serial-port decorator's starting point: every call goes to the inner
// port. A decorator (a trace, a pacing model, a test's hook) derives from it
// and overrides only the calls it changes.
#pragma once

#include <string>

#include "core/serial_port.h"

namespace zvp {

class ForwardingPort : public SerialPort {
 public:
  explicit ForwardingPort(SerialPort* inner) : inner_(inner) {}

  bool Open(const std::string& name) override { return inner_->Open(name); }
  void Close() override { inner_->Close(); }
  PortHandle Handle() const override { return inner_->Handle(); }
  OpenFailure LastOpenFailure() const override { return inner_->LastOpenFailure(); }
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
  bool ReadWaiting(uint8_t* buf, uint32_t n, uint32_t* got) override {
    return inner_->ReadWaiting(buf, n, got);
  }
  bool Write(const uint8_t* buf, uint32_t n, uint32_t* done) override {
    return inner_->Write(buf, n, done);
  }

 protected:
  SerialPort* inner() const { return inner_; }

 private:
  SerialPort* inner_;
};

}  // namespace zvp
