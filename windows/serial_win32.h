// The serial port on Windows: a COM device opened for exclusive,
// synchronous (non-overlapped) use, driven by the comm API. <windows.h> stays
// out of this header: its MessageBox macro would rename the window seam's
// MessageBox in every file that includes both.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/serial_port.h"

namespace zvp {

class Win32SerialPort final : public SerialPort {
 public:
  Win32SerialPort();
  ~Win32SerialPort() override;
  Win32SerialPort(const Win32SerialPort&) = delete;
  Win32SerialPort& operator=(const Win32SerialPort&) = delete;

  // name: "COM1", "COM12" or "\\.\COM12". Besides the driver's own
  // exclusive open, the port is claimed by name for as long as it is open:
  // some drivers (virtual and some USB ports, Wine's) let a second program
  // open a port that is in use, and two windows would then talk over each
  // other. A port that another window or the command line holds fails as
  // in use.
  bool Open(const std::string& name) override;
  void Close() override;
  // Why the last open failed: the path as opened and the system's words,
  // e.g. "\\.\COM7: Access is denied." Empty after a successful open; a Close
  // keeps it. The window program does not show it.
  std::string OpenError() const;
  PortHandle Handle() const override;
  OpenFailure LastOpenFailure() const override;

  // The kind of failure behind a system error code of CreateFile.
  static OpenFailure FailureOf(unsigned long error);

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
  // ClearCommError's count of the input queue, then a read of no more than
  // that: it returns at once whatever time-outs are in force.
  bool ReadWaiting(uint8_t* buf, uint32_t n, uint32_t* got) override;
  bool Write(const uint8_t* buf, uint32_t n, uint32_t* done) override;

 private:
  // The device handle and the line-state record; defined with the Windows
  // types in the implementation.
  struct State;
  // Fails the call (ERROR_INVALID_HANDLE) when no device is open, so that a
  // failed open's invalid value is never handed to the comm API.
  bool Ready() const;

  std::unique_ptr<State> state_;
};

}  // namespace zvp
