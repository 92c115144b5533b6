// The virtual programmer: the device side of every exchange. It takes the
// PC's bytes with the time each arrived and schedules its answers as bytes
// with the time each can first be read, so the same model serves an
// in-process port with virtual time, a pseudo-terminal in real time and the
// programs' --simulate option.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace zvp {

// One byte at 19200 baud with 11 bits (start, 8 data, parity, stop).
constexpr int64_t kByteTimeUs = 573;

// Faults the tests and the simulator's user can switch on.
struct SimFaults {
  bool silent = false;      // headers get no answer at all
  int short_answer = -1;    // answer only this many header bytes (-1: all 21)
};

struct SimConfig {
  bool paced = true;               // space answer bytes at the line's pace
  int64_t answer_latency_us = 1000;  // from the header's last byte to the answer
};

class VirtualProgrammer {
 public:
  using Header = std::array<uint8_t, 21>;

  explicit VirtualProgrammer(SimConfig config = {});

  // A byte from the PC that arrived at `at_us`.
  void Receive(uint8_t byte, int64_t at_us);

  // The answer queue, in the order the bytes go out.
  bool HasOutput() const { return !out_.empty(); }
  int64_t NextOutputTime() const { return out_.front().at_us; }
  uint8_t PopOutput();
  // Discards what has already arrived at the PC by `now_us` (the PC's purge).
  void DropArrived(int64_t now_us);

  // Sends the unsolicited reset message "STARRESET" from `at_us` on.
  void SendReset(int64_t at_us);
  // Sends arbitrary bytes from `at_us` on (line noise, scripted replies).
  void SendRaw(const uint8_t* data, size_t n, int64_t at_us) { Emit(data, n, at_us); }

  SimFaults& faults() { return faults_; }
  const std::vector<Header>& headers() const { return headers_; }

 private:
  struct OutByte {
    uint8_t byte;
    int64_t at_us;
  };
  void OnHeader(const Header& h, int64_t at_us);
  void Emit(const uint8_t* data, size_t n, int64_t start_us);

  SimConfig config_;
  SimFaults faults_;
  std::vector<uint8_t> pending_;  // header bytes gathered so far
  std::deque<OutByte> out_;
  int64_t line_free_us_ = 0;  // when the device's transmitter is free again
  std::vector<Header> headers_;
};

}  // namespace zvp
