// The serial port seam: the handful of calls the link makes on a COM port.
// One implementation per platform (posix/, windows/) plus the virtual
// programmer (sim/), and decorators: the wire trace's TracedPort
// (link/wire_trace.h), and those built on core/forwarding_port.h (the
// benchmarks' PacedPort, the tests' hooks).
#pragma once

#include <cstdint>
#include <string>

namespace zvp {

// Time-outs in milliseconds, in the order the Windows COMMTIMEOUTS record
// holds them. A read of n bytes ends when n bytes arrived, when the gap after
// a received byte exceeds read_interval (0: no interval limit), or when
// read_per_byte * n + read_constant has passed since the read began (both 0:
// no total limit). All three read values 0 means "block until n bytes".
struct CommTimeouts {
  uint32_t read_interval = 0;
  uint32_t read_per_byte = 0;
  uint32_t read_constant = 0;
  uint32_t write_per_byte = 0;
  uint32_t write_constant = 0;
  bool operator==(const CommTimeouts&) const = default;
};

// The line-settings record the link hands to the port on every
// configuration. It is kept for the whole process and modified in place.
struct LineSettings {
  bool parity_check = false;    // parity errors are detected
  bool abort_on_error = false;  // a line error aborts pending transfers
  std::string definition;       // "baud=19200 parity=S data=8 stop=1"
};

// What the port's handle holds: nothing yet, the invalid handle a failed open
// leaves behind, or an open device.
enum class PortHandle { kNone, kInvalid, kOpen };

// Why the last open failed, as far as the platform can tell: no device by
// that name, a device that another program (another window of this one, for
// example) holds, or something else (permissions, a driver fault).
enum class OpenFailure { kNone, kNoSuchPort, kInUse, kOther };

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Closes whatever is open, then opens "COM1".."COM4" (or whatever names the
  // implementation maps) for exclusive synchronous reading and writing.
  virtual bool Open(const std::string& name) = 0;
  virtual void Close() = 0;
  virtual PortHandle Handle() const = 0;
  // kNone after a successful open; a port that cannot tell says kOther.
  virtual OpenFailure LastOpenFailure() const { return OpenFailure::kOther; }

  // Each call below fails (returns false) when no usable port is open.
  virtual bool SetupQueues(uint32_t in_bytes, uint32_t out_bytes) = 0;
  virtual bool ClearErrors() = 0;
  virtual bool ClearBreak() = 0;
  // Abort pending reads and writes and discard both driver buffers.
  virtual bool Purge() = 0;
  virtual bool SetLine(const LineSettings& settings) = 0;
  virtual bool SetTimeouts(const CommTimeouts& timeouts) = 0;
  virtual bool RaiseRts() = 0;
  // Arms the transmit-empty event; WaitTxEmpty then waits for it, at most
  // timeout_ms, and returns false on time-out or failure.
  virtual bool WatchTxEmpty() = 0;
  virtual bool WaitTxEmpty(uint32_t timeout_ms) = 0;

  // Reads up to n bytes under the time-outs in force; *got is the count that
  // arrived. Returns false when the device failed (not on a plain time-out).
  virtual bool Read(uint8_t* buf, uint32_t n, uint32_t* got) = 0;
  // Takes up to n of the bytes that have already arrived, without waiting
  // for more and whatever the time-outs in force say (they stay as they
  // are); *got is the count taken, 0 when nothing is waiting. The link reads
  // the input queue this way before a purge would throw it away, to hear a
  // reset message among the bytes. Returns false when the device failed.
  virtual bool ReadWaiting(uint8_t* buf, uint32_t n, uint32_t* got) = 0;
  // Writes up to n bytes; *done is the count written.
  virtual bool Write(const uint8_t* buf, uint32_t n, uint32_t* done) = 0;
};

}  // namespace zvp
