// The virtual programmer as a serial port: the PC side's calls go straight to
// the device model, with the link's time-outs honoured the way the Windows
// comm driver honours them. With a VirtualClock every wait is free; with the
// SystemClock (the programs' --simulate option) they take real time.
#pragma once

#include <mutex>
#include <set>
#include <string>

#include "core/clock.h"
#include "core/serial_port.h"
#include "sim/virtual_programmer.h"

namespace zvp {

class SimPort final : public SerialPort {
 public:
  SimPort(VirtualProgrammer* device, Clock* clock);

  // Names that open; by default COM1 to COM4.
  void SetAvailableNames(std::set<std::string> names) { names_ = std::move(names); }
  // Writes take the line's time (11 bits a byte at 19200 baud) when paced.
  void SetPaced(bool paced) { paced_ = paced; }
  // The device vanishes (a pulled adapter): every later call fails.
  void Vanish() { vanished_ = true; }

  bool Open(const std::string& name) override;
  void Close() override;
  PortHandle Handle() const override { return handle_; }
  // A name outside the available ones is a port that does not exist.
  OpenFailure LastOpenFailure() const override {
    return handle_ == PortHandle::kInvalid ? OpenFailure::kNoSuchPort : OpenFailure::kNone;
  }
  bool SetupQueues(uint32_t in_bytes, uint32_t out_bytes) override;
  bool ClearErrors() override { return Usable(); }
  bool ClearBreak() override { return Usable(); }
  bool Purge() override;
  bool SetLine(const LineSettings& settings) override;
  bool SetTimeouts(const CommTimeouts& t) override;
  bool RaiseRts() override { return Usable(); }
  bool WatchTxEmpty() override { return Usable(); }
  bool WaitTxEmpty(uint32_t) override { return Usable(); }
  bool Read(uint8_t* buf, uint32_t n, uint32_t* got) override;
  bool ReadWaiting(uint8_t* buf, uint32_t n, uint32_t* got) override;
  bool Write(const uint8_t* buf, uint32_t n, uint32_t* done) override;

  const CommTimeouts& timeouts() const { return timeouts_; }
  const LineSettings& line() const { return line_; }

 private:
  bool Usable() const { return handle_ == PortHandle::kOpen && !vanished_; }

  VirtualProgrammer* device_;
  Clock* clock_;
  std::set<std::string> names_{"COM1", "COM2", "COM3", "COM4"};
  bool paced_ = true;
  bool vanished_ = false;
  PortHandle handle_ = PortHandle::kNone;
  CommTimeouts timeouts_;
  LineSettings line_;
  std::mutex mu_;
};

// True when `definition` is a line definition the programmer's line accepts
// ("baud=19200 parity=S data=8 stop=1" and the like).
bool ValidLineDefinition(const std::string& definition);

}  // namespace zvp
