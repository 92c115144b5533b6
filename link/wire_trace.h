// The wire trace: one line per serial-port call, "<ms since start> <CALL>
// <details>", so a user can diagnose a link and a test can check what went
// over the wire. TracedPort records every call of the port it wraps; DelayMs
// records its pauses through App().trace.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "core/clock.h"
#include "core/serial_port.h"
#include "core/trace_sink.h"

namespace zvp {

class WireTrace final : public TraceSink {
 public:
  using Sink = std::function<void(const std::string& line)>;
  WireTrace(Clock* clock, Sink sink);

  void Line(std::string_view call, std::string_view details) override;

  // Called by a sink that could not keep a line, with the reason. A trace
  // that lost a line is no trace: the running transfer, and any that
  // starts after it, stops (StopAsked) and says why (StopText); the lines
  // after it are dropped.
  void Fail(const std::string& why);
  std::string Failure() const override;

 private:
  Clock* clock_;
  Sink sink_;
  int64_t start_us_;
  std::mutex mu_;
  // Its own lock: the sink calls Fail while Line holds mu_.
  mutable std::mutex failure_mu_;
  std::string failure_;
};

// Whether a long transfer (download, save) is to stop: the user asked it
// (user_abort), or the wire trace could not be kept.
bool StopAsked();

// What a transfer that stopped says: `user_stop_text`, or, when the wire
// trace could not be kept, that and why, so that a full disk never reads
// as the user's stop.
std::string StopText(const std::string& user_stop_text);

// Upper-case hex of the bytes, no separators.
std::string HexBytes(const uint8_t* data, uint32_t n);

class TracedPort final : public SerialPort {
 public:
  TracedPort(SerialPort* inner, WireTrace* trace) : inner_(inner), trace_(trace) {}

  bool Open(const std::string& name) override;
  void Close() override { inner_->Close(); }
  PortHandle Handle() const override { return inner_->Handle(); }
  OpenFailure LastOpenFailure() const override { return inner_->LastOpenFailure(); }
  bool SetupQueues(uint32_t in_bytes, uint32_t out_bytes) override;
  bool ClearErrors() override;
  bool ClearBreak() override;
  bool Purge() override;
  bool SetLine(const LineSettings& settings) override;
  bool SetTimeouts(const CommTimeouts& t) override;
  bool RaiseRts() override;
  bool WatchTxEmpty() override { return inner_->WatchTxEmpty(); }
  bool WaitTxEmpty(uint32_t timeout_ms) override;
  bool Read(uint8_t* buf, uint32_t n, uint32_t* got) override;
  // Traced as "WAITING got/n HEX": what the input queue held.
  bool ReadWaiting(uint8_t* buf, uint32_t n, uint32_t* got) override;
  bool Write(const uint8_t* buf, uint32_t n, uint32_t* done) override;

 private:
  bool Simple(std::string_view call, bool ok);
  SerialPort* inner_;
  WireTrace* trace_;
};

}  // namespace zvp
