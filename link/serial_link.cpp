#include "link/serial_link.h"

#include <algorithm>
#include <cstring>

#include "core/app_state.h"
#include "core/clock.h"
#include "link/operation_header.h"
#include "link/reset_scan.h"
#include "core/trace_sink.h"
#include "core/status_display.h"
#include "core/user_dialogs.h"

namespace zvp {

namespace {

constexpr uint32_t kReadChunk = 256;
constexpr uint32_t kWriteChunk = 255;  // the programmer's firmware takes 255, not 256

SerialPort& Port() { return *App().port; }

// Pause between two refused requests while retrying; short, because a
// refused request normally means the port is gone.
void RetryPause() { App().clock->SleepUs(1000); }

// Repeats `request` until the port accepts it, at most kPortRetryLimit times.
// A port that keeps refusing (a pulled USB adapter) sets link_fault instead of
// spinning for ever.
template <typename Request>
bool Insist(Request request) {
  for (int i = 0; i < kPortRetryLimit; ++i) {
    if (request()) return true;
    RetryPause();
  }
  App().link_fault = 1;
  return false;
}

// The waiting input is taken in reads of this size, up to kWaitingLimit
// bytes: a device that never stops sending must not hold the link.
constexpr uint32_t kWaitingChunk = 256;
constexpr uint32_t kWaitingLimit = 4096;
// The rest of a reset message caught in the middle arrives within a few
// byte times (nine bytes take 5 ms at 19200 baud).
constexpr uint32_t kRestOfMessageMs = 10;

// Reads what is waiting, listening in it; false when the port failed.
bool TakeWaitingInput(SerialPort& port) {
  uint8_t buf[kWaitingChunk];
  for (uint32_t total = 0; total < kWaitingLimit;) {
    uint32_t got = 0;
    const bool ok = port.ReadWaiting(buf, sizeof buf, &got);
    ListenForReset(buf, got);
    total += got;
    if (!ok) return false;
    if (got == 0) break;
  }
  return true;
}

}  // namespace

void ListenToWaitingInput() {
  SerialPort* port = App().port;
  if (port == nullptr || port->Handle() != PortHandle::kOpen) return;
  if (!TakeWaitingInput(*port) || !ResetMessageUnderway()) return;
  DelayMs(kRestOfMessageMs);
  TakeWaitingInput(*port);
}

bool RestartedInsteadOfReplying() {
  ListenToWaitingInput();
  return App().reset_heard;
}

void DelayMs(uint32_t ms) {
  AppState& app = App();
  if (app.trace) app.trace->Line("DELAY", std::to_string(ms));
  app.clock->SleepUs(static_cast<int64_t>(ms) * 1000);
}

void SetLinkTimeouts(uint32_t read_interval, uint32_t read_constant, uint32_t read_per_byte,
                     uint32_t write_constant, uint32_t write_per_byte) {
  CommTimeouts t;
  t.read_interval = read_interval;
  t.read_constant = read_constant;
  t.read_per_byte = read_per_byte;
  t.write_constant = write_constant;
  t.write_per_byte = write_per_byte;
  Port().SetTimeouts(t);
}

void SetLinkTimeouts(const CommTimeouts& set) {
  SetLinkTimeouts(set.read_interval, set.read_constant, set.read_per_byte, set.write_constant,
                  set.write_per_byte);
}

bool ClearLineErrors() {
  SerialPort& port = Port();
  if (!Insist([&] { return port.ClearErrors(); })) return false;
  return Insist([&] { return port.ClearBreak(); });
}

void ConfigurePort() {
  AppState& app = App();
  SerialPort& port = Port();
  ClearLineErrors();
  // The purge would throw away what is waiting, a reset message among it.
  ListenToWaitingInput();
  Insist([&] { return port.Purge(); });
  app.line_settings.parity_check = true;
  app.line_settings.abort_on_error = false;
  app.line_settings.definition = kLineDefinition;
  port.SetLine(app.line_settings);
}

void ReceiveBlock(uint8_t* buf, uint32_t length, uint32_t* count) {
  AppState& app = App();
  SetLinkTimeouts(kBlockTimeouts);
  uint32_t done = 0;
  while (done < length) {
    ClearLineErrors();
    const uint32_t ask = std::min(kReadChunk, length - done);
    uint32_t got = 0;
    const bool alive = Port().Read(buf + done, ask, &got);
    ListenForReset(buf + done, got);
    done += got;
    // A chunk that brings nothing ends the block; so does a device that
    // failed, after keeping what it delivered.
    if (got == 0 || !alive) {
      if (done < length) app.link_fault = 1;
      break;
    }
  }
  *count = done;
}

void SendBlock(const uint8_t* buf, uint32_t length, uint32_t* count) {
  AppState& app = App();
  SetLinkTimeouts(kBlockTimeouts);
  uint32_t done = 0;
  int refused = 0;
  while (done < length) {
    ClearLineErrors();
    const uint32_t ask = std::min(kWriteChunk, length - done);
    uint32_t wrote = 0;
    const bool alive = Port().Write(buf + done, ask, &wrote);
    done += wrote;
    if (wrote > 0) {
      refused = 0;
      continue;
    }
    // A chunk that wrote nothing is sent again, but not for ever: a port
    // that keeps refusing has gone away.
    if (!alive || ++refused >= kPortRetryLimit) {
      app.link_fault = 1;
      break;
    }
    RetryPause();
  }
  *count = done;
}

void AwaitReply(uint8_t* buf, uint32_t size, uint32_t reply_length, uint32_t tries) {
  AppState& app = App();
  std::memset(buf, 0, size);
  if (size == 0) {
    app.link_fault = 1;
    return;
  }
  uint32_t got = 0;
  for (uint32_t i = 0; i < tries && got == 0; ++i) {
    // A port that refuses or fails will not bring a byte on the next try
    // either: stop at once rather than wait out every try.
    if (!ClearLineErrors()) break;
    const bool alive = Port().Read(buf, 1, &got);
    ListenForReset(buf, got);
    if (!alive) break;
  }
  if (got == 0) {
    app.link_fault = 1;
    return;
  }
  if (reply_length >= 2) {
    DelayMs(50);
    // The rest comes in one read; a short rest is not reported. Never read
    // past the caller's buffer.
    const uint32_t rest = std::min(reply_length - 1, size - 1);
    uint32_t more = 0;
    Port().Read(buf + 1, rest, &more);
    ListenForReset(buf + 1, more);
  }
}

bool BeginLink() {
  AppState& app = App();
  SerialPort& port = Port();
  if (!port.SetupQueues(1024, 1024)) {
    MessageBox box;
    box.caption = "警告";
    box.text = "读取串口错误,该端口可能不存在或被其它软件占用!";
    box.icon = MsgIcon::kWarning;
    Dialogs().ShowMessage(box);
    app.link_fault = 1;
    app.programmer_found = 0;
    app.port_chosen = 0;
    StatusLine().SetStatus("连接烧写器端口硬件错误!");
    return false;
  }
  ConfigurePort();
  // A programmer that restarted has lost its memory: no header goes to it
  // until someone has reacted to the reset (link/connection.h).
  if (app.reset_heard) {
    app.link_fault = 1;
    return false;
  }
  SetLinkTimeouts(kHeaderTimeouts);
  port.RaiseRts();

  app.link_fault = 0;
  port.WatchTxEmpty();
  uint32_t sent = 0;
  SendBlock(app.header.bytes.data(), kHeaderSize, &sent);
  // The event may already have passed: the wait is bounded.
  port.WaitTxEmpty(kTxEmptyTimeoutMs);
  DelayMs(50);
  uint8_t answer[kHeaderSize];
  uint32_t got = 0;
  ReceiveBlock(answer, kHeaderSize, &got);

  // The programmer restarted while the header went out: what came back is
  // its reset message, not an answer. It was there to take the header, and
  // whether it acts on it is not known.
  if (app.reset_heard) {
    ++app.headers_reached;
    app.link_fault = 1;
    return false;
  }
  if (app.link_fault || got < kHeaderSize) {
    app.link_fault = 1;
    StatusLine().SetStatus("编程器连接错误! 编程器可能正忙,请稍候再试!");
    return false;
  }
  SetLinkTimeouts(kReplyTimeouts);
  ++app.headers_reached;
  return true;
}

bool OpenPort(const std::string& name, const OperatorChoices& choices) {
  AppState& app = App();
  SerialPort& port = Port();
  port.Close();
  if (!port.Open(name)) return false;
  port.SetupQueues(65536, 65536);
  // A restart before this connection lost nothing this program put into
  // the programmer (the connection forgets the memory anyway): the reset
  // message waiting from it must not stop the connect exchange.
  ListenToWaitingInput();
  ForgetListenedBytes();
  app.header.Fill(kConnectFill);
  BuildOperationHeader(choices);
  app.header.SetCommand(cmd::kConnect);
  return BeginLink();
}

}  // namespace zvp
