// The one process-wide state record. Every routine of the core reads and
// writes it; nothing is locked. Flags and numbers that more than one thread
// touches (the UI thread, the operation worker, the reset poll) are atomic so
// that each read sees a whole value.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "link/serial_port.h"

namespace zvp {

class Clock;
class WindowSurface;
class SettingsStore;
class ThreadPriority;
class WireTrace;

constexpr uint32_t kCodeBufferSize = 0x100000;  // 1 MiB, index = chip address
constexpr uint32_t kHighestAddress = 0x7FFF;     // no operation works above it
constexpr size_t kHeaderSize = 21;

using Flag = std::atomic<uint32_t>;

// The 21-byte block that opens every exchange. Multi-byte values are
// big-endian; the end address is split over bytes 19 (bits 23-16) and 6-7.
struct OperationHeader {
  std::array<uint8_t, kHeaderSize> bytes{};

  uint8_t& operator[](size_t i) { return bytes[i]; }
  uint8_t operator[](size_t i) const { return bytes[i]; }
  void Fill(uint8_t value) { bytes.fill(value); }
  // Bytes 16-18 from `first`, 19 and 6-7 from `last`.
  void SetRange(uint32_t first, uint32_t last);
  // Bytes 8-9, high byte first.
  void SetChecksum(uint16_t sum);
  uint8_t Command() const { return bytes[20]; }
  void SetCommand(uint8_t code) { bytes[20] = code; }
};

struct AppState {
  // Seams to the world, installed by the front end (window, command line,
  // tests) before anything runs.
  SerialPort* port = nullptr;
  Clock* clock = nullptr;
  WindowSurface* surface = nullptr;
  SettingsStore* settings = nullptr;
  ThreadPriority* priority = nullptr;
  WireTrace* trace = nullptr;  // optional record of every port call

  // Link.
  LineSettings line_settings;
  Flag link_fault{0};

  // Connection.
  Flag port_chosen{0};
  Flag programmer_found{0};

  // Engine.
  Flag busy{0};
  Flag auto_running{0};
  Flag user_abort{0};
  Flag label_pressed{0};
  OperationHeader header;

  // Shared with the operations and the window.
  Flag memory_loaded{0};
  Flag memory_edited{0};
  Flag option_flags{0};
  Flag function_flags{0};
  Flag count_flags{0};
  Flag failure_counts{0};
  Flag pass_count{0};
  Flag fail_count{0};
  Flag view_address{0};
  Flag view_ready{0};

  // Working range (inclusive) and the range of the last programmer-memory
  // checksum.
  Flag range_start{0};
  Flag range_end{0};
  Flag checksum_start{0};
  Flag checksum_end{0};

  std::array<uint8_t, kCodeBufferSize> code_buffer{};
};

// The process-wide record.
AppState& App();

// Returns every field except the seams to its start value (all zero, buffer
// all 0xFF). Used at window initialisation and by tests.
void ResetAppState();

// Bits of option_flags, one per box of the "编程系统" group.
namespace opt {
constexpr uint32_t kReadProtect = 0x01;
constexpr uint32_t kLdcProtect = 0x02;
constexpr uint32_t kBlankCheck = 0x04;
constexpr uint32_t kHwWriteProtect = 0x08;
constexpr uint32_t kSmart = 0x10;
constexpr uint32_t kVerify = 0x20;
constexpr uint32_t kErase = 0x40;
}  // namespace opt

// Bits of function_flags.
namespace fn {
constexpr uint32_t kShowCounters = 0x01;
constexpr uint32_t kCountingPaused = 0x02;
constexpr uint32_t kForceProtection = 0x08;
constexpr uint32_t kBuzzer = 0x20;
}  // namespace fn

}  // namespace zvp
