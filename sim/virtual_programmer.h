// The virtual programmer: the device side of every exchange. It takes the
// PC's bytes with the time each arrived and schedules its answers as bytes
// with the time each can first be read, so the same model serves an
// in-process port with virtual time, a pseudo-terminal in real time and the
// programs' --simulate option.
//
// The model: a programmer with its own memory (1 MiB, 0xFF when erased) and a
// chip in its socket (OTP or MTP, 32 KiB of program memory, the SMART option
// and three protections). The handlers of the commands live in files of
// their own: memory_commands.cpp (12, 13, 14), chip_commands.cpp (3, 4, 6,
// 7, 8, 9, 11, 19), read_commands.cpp (2, 5, 10, 15, 16),
// offline_commands.cpp (17).
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/protocol.h"

namespace zvp {

// One byte at 19200 baud with 11 bits (start, 8 data, parity, stop).
constexpr int64_t kByteTimeUs = 573;

constexpr uint32_t kSimMemorySize = 0x100000;  // the programmer memory
constexpr uint32_t kSimChipSize = 0x8000;      // the chip's program memory

// Faults the tests and the simulator's user can switch on. "Command" fields
// take a command byte; kAnyCommand matches every command, kNoCommand none.
constexpr int kNoCommand = -1;
constexpr int kAnyCommand = 256;

struct SimFaults {
  bool silent = false;        // headers get no answer at all
  int short_answer = -1;      // answer only this many header bytes (-1: all 21)
  int silent_after_header = kNoCommand;  // answer this command's header, then nothing
  // Programmer memory.
  bool no_romok = false;     // the initialisation never reports "ROMOK"
  bool wrong_romok = false;  // it reports five other bytes instead
  int sum_offset = 0;        // added to every 16-bit sum the programmer reports
  int stop_stream_after = -1;  // a data stream is taken only up to this many bytes
  // Chip.
  char voltage_error = 0;          // '1'..'4' (or any): the start acknowledgement is "E<c>"
  int answer_no = kNoCommand;      // this command's verdict is "NO"
  int silent_at_address = -1;      // a scan reports up to this address, then falls silent
  bool wrong_block_sum = false;    // a block read's sum is off by one
  // Once the exchange of this command is over (its last answer byte, or the
  // end of its data stream), the programmer restarts: its memory is lost
  // and "STARRESET" follows kRestartGapUs later. Fires once, then clears.
  int reset_after = kNoCommand;
};

// From the end of an exchange to the reset message of a restart after it.
constexpr int64_t kRestartGapUs = 20'000;

struct SimConfig {
  bool paced = true;                 // space answer bytes at the line's pace
  int64_t answer_latency_us = 1000;  // from the header's last byte to the answer
  int64_t init_delay_us = 1'500'000; // the memory initialisation's "ROMOK" comes this late
  uint32_t progress_step = 0x1000;   // a scan reports every this many addresses
};

enum class SimChipType { kOtp, kMtp };

struct SimChip {
  SimChipType type = SimChipType::kMtp;
  std::vector<uint8_t> memory = std::vector<uint8_t>(kSimChipSize, 0xFF);
  bool smart = false;
  bool read_protect = false;
  bool ldc_protect = false;
  bool hw_write_protect = false;
  int differs_at = -1;  // fault: reads of this address return the byte inverted
};

class VirtualProgrammer {
 public:
  using Header = OperationHeader;

  explicit VirtualProgrammer(SimConfig config = {});

  // A byte from the PC that arrived at `at_us`.
  void Receive(uint8_t byte, int64_t at_us);

  // The answer queue, in the order the bytes go out.
  bool HasOutput() const { return !out_.empty(); }
  int64_t NextOutputTime() const { return out_.front().at_us; }
  uint8_t PopOutput();
  // Discards what has already arrived at the PC by `now_us` (the PC's purge).
  void DropArrived(int64_t now_us);

  // Sends the unsolicited reset message "STARRESET" from `at_us` on; a reset
  // also loses the programmer memory and whatever answer was still to go
  // out after `at_us`.
  void SendReset(int64_t at_us);
  // Sends arbitrary bytes from `at_us` on (line noise, scripted replies).
  void SendRaw(const uint8_t* data, size_t n, int64_t at_us) { Emit(data, n, at_us); }

  SimFaults& faults() { return faults_; }
  SimConfig& config() { return config_; }
  SimChip& chip() { return chip_; }
  std::vector<uint8_t>& memory() { return memory_; }
  const std::vector<Header>& headers() const { return headers_; }
  // The offline configuration last written (command 17), empty before.
  const std::vector<Header>& offline_configs() const { return offline_configs_; }

 private:
  struct OutByte {
    uint8_t byte;
    int64_t at_us;
  };

  void OnHeader(const Header& h, int64_t at_us);

  // Output helpers. Each returns the time its last byte goes out.
  int64_t Emit(const uint8_t* data, size_t n, int64_t start_us);
  int64_t EmitText(const char* text, int64_t start_us);     // "OK", "NO", "ROMOK"
  int64_t EmitWord(uint16_t value, int64_t start_us);       // high byte first, sum_offset applied
  int64_t EmitTriple(uint32_t value, int64_t start_us);     // 24-bit address, high byte first
  // The 2-byte start acknowledgement of a chip command: "OK", or "E<c>" when
  // a voltage error is injected. Returns false after a voltage error.
  bool StartAck(int64_t* t);
  bool SilentFor(int command) const;
  // The reset_after fault, at the end of `command`'s exchange.
  void RestartIfDue(int command);
  bool Matches(int field, int command) const {
    return field == kAnyCommand || field == command;
  }
  // A chip byte as the programmer reads it (the differs_at fault applied).
  uint8_t ChipByte(uint32_t address) const;

  // Data the PC streams after a header (download, direct programming).
  void ExpectStream(int command, uint32_t count);
  void OnStreamByte(uint8_t byte, int64_t at_us);

  // Command handlers, run after the header was answered at `t`.
  void OnInitMemory(const Header& h, int64_t t);       // 12
  void OnMemoryChecksum(const Header& h, int64_t t);   // 13
  void OnDownload(const Header& h, int64_t t);         // 14
  void OnDownloadByte(uint8_t byte, int64_t t);
  void OnDownloadEnd(int64_t t);
  void OnBlankCheck(const Header& h, int64_t t);       // 3
  void OnProgram(const Header& h, int64_t t);          // 11
  void OnOption(const Header& h, int64_t t);           // 4, 6, 7, 8, 9
  void OnProgramDirect(const Header& h, int64_t t);    // 19
  void OnDirectByte(uint8_t byte, int64_t t);
  void OnDirectEnd(int64_t t);
  void OnChipChecksum(const Header& h, int64_t t);     // 2
  void OnVerify(const Header& h, int64_t t);           // 5
  void OnReadBlock(const Header& h, int64_t t);        // 10, 15
  void OnCopyChip(const Header& h, int64_t t);         // 16
  void OnOfflineConfig(const Header& h, int64_t t);    // 17

  SimConfig config_;
  SimFaults faults_;
  SimChip chip_;
  std::vector<uint8_t> memory_ = std::vector<uint8_t>(kSimMemorySize, 0xFF);
  std::vector<uint8_t> pending_;  // header bytes gathered so far
  std::deque<OutByte> out_;
  int64_t line_free_us_ = 0;  // when the device's transmitter is free again
  std::vector<Header> headers_;
  std::vector<Header> offline_configs_;

  // A stream in progress: which command, how many bytes still to come, and
  // the header that announced it.
  int stream_command_ = 0;
  uint32_t stream_remaining_ = 0;
  uint32_t stream_taken_ = 0;
  Header stream_header_{};
  // Scratch state the handlers share across a stream.
  uint32_t stream_address_ = 0;
  uint32_t stream_sum_ = 0;
  bool stream_refused_ = false;  // direct programming: the chip refused a byte
  int64_t stream_last_us_ = 0;   // download: when the last data byte came
};

}  // namespace zvp
