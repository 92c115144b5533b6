// The serial port on Linux and other POSIX systems: a tty device opened
// non-blocking and locked for exclusive use. Reads and writes are driven by
// poll() so that the Windows time-out rules of CommTimeouts hold here too.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "core/serial_port.h"

namespace zvp {

class PosixSerialPort final : public SerialPort {
 public:
  // The device calls of the write, drain and purge paths. Their defaults are
  // the system calls on the port's descriptor; a test puts a model of a
  // UART's transmitter behind them, since a pseudo-terminal sends every byte
  // the moment it is written.
  class TransmitCalls {
   public:
    // What the transmitter still holds.
    struct Backlog {
      int queued = 0;         // bytes in the driver's output queue; a flush drops them
      bool shifting = false;  // the UART's FIFO or shift register is still sending
    };
    virtual ~TransmitCalls() = default;
    virtual ssize_t Write(int fd, const uint8_t* buf, size_t n);
    // False, with errno set, when the device fails.
    virtual bool OutputBacklog(int fd, Backlog* backlog);
    // Only the driver's queue, all a write waits for: on a serial UART one
    // system call instead of two. By default the queue of OutputBacklog, so
    // that a model of the transmitter need only answer that.
    virtual bool QueuedBytes(int fd, int* queued);
    virtual int Flush(int fd, int queue_selector);
  };

  PosixSerialPort() = default;
  // calls (not owned) replaces the system calls of the transmit path.
  explicit PosixSerialPort(TransmitCalls* calls) : calls_(calls) {}
  ~PosixSerialPort() override;
  PosixSerialPort(const PosixSerialPort&) = delete;
  PosixSerialPort& operator=(const PosixSerialPort&) = delete;

  // Lets Open(name) reach the device at path, e.g. "COM1" -> "/dev/ttyUSB0".
  // Names compare without regard to case, as Windows port names do.
  void MapName(const std::string& name, const std::string& path);
  // The device path Open(name) would use: the mapped path, "/dev/ttyS0".."3"
  // for an unmapped "COM1".."COM4", the name itself when it starts with '/',
  // otherwise empty.
  std::string DevicePath(const std::string& name) const;

  bool Open(const std::string& name) override;
  void Close() override;
  // Why the last open failed: the device path tried and the reason, e.g.
  // "/dev/ttyUSB0: permission denied". Empty after a successful open; a
  // Close keeps it.
  std::string OpenError() const;
  PortHandle Handle() const override;
  OpenFailure LastOpenFailure() const override { return open_failure_; }

  bool SetupQueues(uint32_t in_bytes, uint32_t out_bytes) override;
  bool ClearErrors() override;
  bool ClearBreak() override;
  bool Purge() override;
  bool SetLine(const LineSettings& settings) override;
  bool SetTimeouts(const CommTimeouts& timeouts) override;
  bool RaiseRts() override;
  bool WatchTxEmpty() override;
  bool WaitTxEmpty(uint32_t timeout_ms) override;
  bool Read(uint8_t* buf, uint32_t n, uint32_t* got) override;
  bool ReadWaiting(uint8_t* buf, uint32_t n, uint32_t* got) override;
  // Returns once the driver holds no more than a few of the bytes (12 at
  // most; a longer write waits until 3 are left), as WriteFile on a Windows
  // COM port completes once the UART's FIFO has them, or when the write
  // time-out has passed: then with the count that went out, the rest
  // dropped. A line that stops sending for about a second fails the write
  // even without a time-out. The purge waits for the rest.
  bool Write(const uint8_t* buf, uint32_t n, uint32_t* done) override;

 private:
  using TimePoint = std::chrono::steady_clock::time_point;
  enum class DrainEnd { kEmpty, kTimedOut, kStalled, kFailed };
  struct Drained {
    DrainEnd end;
    int queued;  // what the driver still held at the end
  };

  // Owns one file descriptor; -1 when empty.
  class Fd {
   public:
    Fd() = default;
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    void Reset(int fd = -1);
    // Hands the descriptor over without closing it.
    int Release();

   private:
    int fd_ = -1;
  };

  // Opens, locks and configures path; returns the descriptor and the line
  // settings given to it in *line, or -1 and the reason in *why.
  static int OpenDevice(const std::string& path, termios* line, std::string* why,
                        OpenFailure* failure);
  // Waits until the transmitter has sent everything written, at most until
  // deadline; with stall_guard, also until the driver has sent nothing for
  // about a second. earliest: when the bytes written can be out at the
  // soonest.
  // Waits until the driver's output queue is empty and, with `uart_too`,
  // until the UART has sent its last byte as well.
  // With `down_to` above 0 it ends once the driver's queue holds at most
  // that many bytes (the UART is then not asked).
  Drained DrainOutput(TimePoint earliest, std::optional<TimePoint> deadline, bool stall_guard,
                      bool uart_too, int down_to = 0);

  // The system calls themselves.
  static TransmitCalls* SystemCalls();
  TransmitCalls* calls_ = SystemCalls();
  Fd fd_;
  // Set by a failed open, cleared by the next open or Close: the state the
  // link sees as the invalid handle.
  bool open_failed_ = false;
  std::string open_error_;
  OpenFailure open_failure_ = OpenFailure::kNone;
  // Nothing here sets a break, so once cleared after the open the line
  // stays out of break (see ClearBreak).
  bool break_cleared_ = false;
  CommTimeouts timeouts_;
  // One character's time on the line: start, data, parity and stop bits.
  std::chrono::nanoseconds byte_time_{1'000'000'000LL * 11 / 19200};
  std::map<std::string, std::string> paths_;  // upper-case name -> device path
};

}  // namespace zvp
