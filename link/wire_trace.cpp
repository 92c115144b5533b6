#include "link/wire_trace.h"

#include <cstdio>

#include "core/app_state.h"

namespace zvp {

WireTrace::WireTrace(Clock* clock, Sink sink)
    : clock_(clock), sink_(std::move(sink)), start_us_(clock->NowUs()) {}

void WireTrace::Line(std::string_view call, std::string_view details) {
  const int64_t us = clock_->NowUs() - start_us_;
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%lld.%03lld ", static_cast<long long>(us / 1000),
                static_cast<long long>(us % 1000));
  std::string line = stamp;
  line += call;
  if (!details.empty()) {
    line += ' ';
    line += details;
  }
  std::lock_guard<std::mutex> lock(mu_);
  if (!Failure().empty()) return;
  sink_(line);
}

void WireTrace::Fail(const std::string& why) {
  std::lock_guard<std::mutex> lock(failure_mu_);
  // The first reason is the one that counts.
  if (!failure_.empty()) return;
  failure_ = why.empty() ? std::string("cannot be written") : why;
}

std::string WireTrace::Failure() const {
  std::lock_guard<std::mutex> lock(failure_mu_);
  return failure_;
}

namespace {
std::string TraceFailure() {
  const TraceSink* trace = App().trace;
  return trace != nullptr ? trace->Failure() : std::string();
}
}  // namespace

bool StopAsked() { return App().user_abort || !TraceFailure().empty(); }

std::string StopText(const std::string& user_stop_text) {
  const std::string why = TraceFailure();
  if (why.empty()) return user_stop_text;
  return "跟踪文件写入失败(" + why + "),操作已停止!";
}

std::string HexBytes(const uint8_t* data, uint32_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(n * 2);
  for (uint32_t i = 0; i < n; ++i) {
    s += kDigits[data[i] >> 4];
    s += kDigits[data[i] & 0xF];
  }
  return s;
}

namespace {
const char* Ok(bool ok) { return ok ? "ok" : "fail"; }
}  // namespace

bool TracedPort::Simple(std::string_view call, bool ok) {
  trace_->Line(call, Ok(ok));
  return ok;
}

bool TracedPort::Open(const std::string& name) {
  const bool ok = inner_->Open(name);
  trace_->Line("OPEN", name + " " + Ok(ok));
  return ok;
}

bool TracedPort::SetupQueues(uint32_t in_bytes, uint32_t out_bytes) {
  const bool ok = inner_->SetupQueues(in_bytes, out_bytes);
  trace_->Line("QUEUES",
               std::to_string(in_bytes) + " " + std::to_string(out_bytes) + " " + Ok(ok));
  return ok;
}

bool TracedPort::ClearErrors() { return Simple("CLEAR", inner_->ClearErrors()); }
bool TracedPort::ClearBreak() { return Simple("BREAK", inner_->ClearBreak()); }
bool TracedPort::Purge() { return Simple("PURGE", inner_->Purge()); }

bool TracedPort::SetLine(const LineSettings& settings) {
  const bool ok = inner_->SetLine(settings);
  trace_->Line("LINE", settings.definition + (ok ? "" : " fail"));
  return ok;
}

bool TracedPort::SetTimeouts(const CommTimeouts& t) {
  const bool ok = inner_->SetTimeouts(t);
  trace_->Line("TIMEOUTS", std::to_string(t.read_interval) + " " + std::to_string(t.read_per_byte) +
                               " " + std::to_string(t.read_constant) + " " +
                               std::to_string(t.write_per_byte) + " " +
                               std::to_string(t.write_constant) + (ok ? "" : " fail"));
  return ok;
}

bool TracedPort::RaiseRts() {
  const bool ok = inner_->RaiseRts();
  trace_->Line("RTS", ok ? "" : "fail");
  return ok;
}

bool TracedPort::WaitTxEmpty(uint32_t timeout_ms) {
  const bool ok = inner_->WaitTxEmpty(timeout_ms);
  trace_->Line("TXWAIT", ok ? "ok" : "timeout");
  return ok;
}

namespace {

// "got/n", the bytes in hex when there are any, and "fail" when the call did.
std::string TransferDetails(const uint8_t* buf, uint32_t n, uint32_t got, bool ok) {
  std::string details = std::to_string(got) + "/" + std::to_string(n);
  if (got) {
    details += ' ';
    details += HexBytes(buf, got);
  }
  if (!ok) details += " fail";
  return details;
}

}  // namespace

bool TracedPort::Read(uint8_t* buf, uint32_t n, uint32_t* got) {
  *got = 0;
  const bool ok = inner_->Read(buf, n, got);
  trace_->Line("READ", TransferDetails(buf, n, *got, ok));
  return ok;
}

bool TracedPort::ReadWaiting(uint8_t* buf, uint32_t n, uint32_t* got) {
  *got = 0;
  const bool ok = inner_->ReadWaiting(buf, n, got);
  trace_->Line("WAITING", TransferDetails(buf, n, *got, ok));
  return ok;
}

bool TracedPort::Write(const uint8_t* buf, uint32_t n, uint32_t* done) {
  *done = 0;
  const bool ok = inner_->Write(buf, n, done);
  std::string details = std::to_string(*done) + "/" + std::to_string(n);
  if (*done) {
    details += ' ';
    details += HexBytes(buf, *done);
  }
  if (!ok) details += " fail";
  trace_->Line("WRITE", details);
  return ok;
}

}  // namespace zvp
