// A serial port whose device side is a script: every write is taken (and
// forgotten), every read is answered from the script. It is the wire the
// reply fuzzer controls: a broken programmer, a noisy cable or the wrong
// device behind the port all look like some script.
//
// Script: each Read takes one code byte, then the bytes it announces.
//   0x00         silence: the read brings nothing and ends on its time-out;
//   0x01..0xF7   up to that many bytes (never more than the read asked for;
//                fewer when the script runs out), paced as on the line; a
//                read that gets less than it asked for ends on its time-out;
//   0xF8..0xFF   the device vanishes: this read fails, and so does every
//                later call until the port is opened again.
// A look at what is waiting in the input queue (ReadWaiting) takes its
// entry the same way, but no time.
// Past the end of the script the line is silent.
//
// Time follows the Windows time-out rules of link/serial_port.h on the clock
// the port is given, so with a VirtualClock a 27-second wait costs nothing.
// A read that those rules would let wait for ever on a silent line, and an
// operation that makes more than kCallLimit port calls, abort the process
// with a message saying so: both are operations that never end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "core/clock.h"
#include "core/serial_port.h"

namespace zvp::fuzz {

// What happens at the port call numbered `at_call` (1 = the first call
// after Load), besides the call itself.
enum class PortEvent : uint8_t {
  kNone,
  kVanish,       // the device is pulled away: this and every later call fail
  kUserStop,     // the user double-clicks the status line to stop
  kWritesStall,  // from here on each write takes nothing and ends on its time-out
};

class ScriptedPort final : public SerialPort {
 public:
  // Far above what the longest operation needs (programming the whole chip
  // directly, in the auto-program sequence, makes about 17 000 calls), far
  // below what a run can afford.
  static constexpr uint64_t kCallLimit = 2'000'000;
  static constexpr uint8_t kFirstVanishCode = 0xF8;
  static constexpr uint32_t kMaxChunk = kFirstVanishCode - 1;

  explicit ScriptedPort(Clock* clock) : clock_(clock) {}

  // A fresh device for one operation: the script, the event, and whether
  // the port's name opens at all. The port itself starts closed.
  void Load(const uint8_t* script, size_t size, PortEvent event, uint32_t at_call, bool opens);
  // Names the running operation in the abort messages.
  void SetLabel(std::string label) { label_ = std::move(label); }

  uint64_t calls() const { return calls_; }
  size_t script_left() const { return size_ - next_; }

  bool Open(const std::string& name) override;
  void Close() override;
  PortHandle Handle() const override { return handle_; }
  bool SetupQueues(uint32_t, uint32_t) override { return Call(); }
  bool ClearErrors() override { return Call(); }
  bool ClearBreak() override { return Call(); }
  bool Purge() override { return Call(); }
  bool SetLine(const LineSettings&) override { return Call(); }
  bool SetTimeouts(const CommTimeouts& t) override;
  bool RaiseRts() override { return Call(); }
  bool WatchTxEmpty() override { return Call(); }
  bool WaitTxEmpty(uint32_t) override { return Call(); }
  bool Read(uint8_t* buf, uint32_t n, uint32_t* got) override;
  bool ReadWaiting(uint8_t* buf, uint32_t n, uint32_t* got) override;
  bool Write(const uint8_t* buf, uint32_t n, uint32_t* done) override;

 private:
  // Counts the call, fires the event when its number comes, stops a run
  // that does not end; true while the port is open and the device there.
  bool Call();
  bool Usable() const { return handle_ == PortHandle::kOpen && !vanished_; }
  // How long a read of n bytes that got `got` of them lasted, in us.
  int64_t ReadTimeUs(uint32_t n, uint32_t got) const;
  // The next script entry into buf, at most n bytes; false when the device
  // vanishes there.
  bool TakeEntry(uint8_t* buf, uint32_t n, uint32_t* got);
  [[noreturn]] void NeverEnds(const char* what) const;

  Clock* clock_;
  const uint8_t* script_ = nullptr;
  size_t size_ = 0;
  size_t next_ = 0;
  PortEvent event_ = PortEvent::kNone;
  uint32_t event_call_ = 0;
  bool opens_ = true;
  std::string label_;

  PortHandle handle_ = PortHandle::kNone;
  bool vanished_ = false;
  bool writes_stall_ = false;
  CommTimeouts timeouts_;
  uint64_t calls_ = 0;
};

}  // namespace zvp::fuzz
