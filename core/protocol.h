// The words of the serial protocol, named once for both sides of the wire:
// the command bytes the PC sends, the 21-byte header that opens every
// exchange with the position of each of its fields, and the words the
// programmer answers with. The PC's layers, the virtual programmer, the fuzz
// targets and the tests all read them here; docs/PROTOCOL.md describes the
// exchanges built from them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zvp {

// The command byte, header byte 20: what the programmer is asked to do.
namespace cmd {
inline constexpr uint8_t kConnect = 1;
inline constexpr uint8_t kChipChecksum = 2;
inline constexpr uint8_t kBlankCheck = 3;
inline constexpr uint8_t kEraseMtp = 4;
inline constexpr uint8_t kVerifyChip = 5;
inline constexpr uint8_t kEnableSmart = 6;
inline constexpr uint8_t kReadProtect = 7;
inline constexpr uint8_t kLdcProtect = 8;
inline constexpr uint8_t kHardwareWriteProtect = 9;
inline constexpr uint8_t kReadChip = 10;  // one block of the chip
inline constexpr uint8_t kProgramFromMemory = 11;
inline constexpr uint8_t kInitMemory = 12;
inline constexpr uint8_t kMemoryChecksum = 13;
inline constexpr uint8_t kDownload = 14;
inline constexpr uint8_t kReadMemory = 15;  // one block of the programmer memory
inline constexpr uint8_t kCopyChip = 16;    // the chip into the programmer memory
inline constexpr uint8_t kOfflineConfig = 17;
inline constexpr uint8_t kProgramFromPc = 19;
}  // namespace cmd

constexpr size_t kHeaderSize = 21;

// Where each field of the header lies. Multi-byte values are big-endian;
// the end address is split over byte 19 (bits 23-16) and bytes 6-7.
namespace hdr {
inline constexpr size_t kMagic = 0;  // "STAR", four bytes
inline constexpr size_t kChipType = 4;
inline constexpr size_t kOptions = 5;  // opt:: bits
inline constexpr size_t kEndMiddle = 6;
inline constexpr size_t kEndLow = 7;
inline constexpr size_t kChecksumHigh = 8;
inline constexpr size_t kChecksumLow = 9;
inline constexpr size_t kMarker = 10;  // always 1
inline constexpr size_t kVoltage = 11;
inline constexpr size_t kCodeBytes = 12;  // the code bytes at 0x3C-0x3F, four bytes
inline constexpr size_t kStartHigh = 16;
inline constexpr size_t kStartMiddle = 17;
inline constexpr size_t kStartLow = 18;
inline constexpr size_t kEndHigh = 19;
inline constexpr size_t kCommand = 20;
}  // namespace hdr

inline constexpr char kHeaderMagic[] = "STAR";
inline constexpr uint8_t kMarkerValue = 1;
// What fills every byte of the connect header that nothing else sets.
inline constexpr uint8_t kConnectFill = 0x55;
// Where in the code the four code bytes of the header come from.
inline constexpr uint32_t kHeaderCodeAddress = 0x3C;

enum class ChipType : uint8_t { kOtp = 1, kMtp = 2 };
// Bits 0-6 of byte 11; bit 7 set takes the programming voltage from the chip
// supply instead of 12 V.
enum class Supply : uint8_t { k5V0 = 1, k3V3 = 2 };
inline constexpr uint8_t kVppFromSupplyBit = 0x80;

struct OperationHeader {
  std::array<uint8_t, kHeaderSize> bytes{};

  uint8_t& operator[](size_t i) { return bytes[i]; }
  uint8_t operator[](size_t i) const { return bytes[i]; }
  bool operator==(const OperationHeader&) const = default;
  auto begin() { return bytes.begin(); }
  auto begin() const { return bytes.begin(); }
  auto end() { return bytes.end(); }
  auto end() const { return bytes.end(); }
  uint8_t* data() { return bytes.data(); }
  const uint8_t* data() const { return bytes.data(); }
  static constexpr size_t size() { return kHeaderSize; }
  void Fill(uint8_t value) { bytes.fill(value); }

  void SetMagic() { std::memcpy(&bytes[hdr::kMagic], kHeaderMagic, 4); }
  void SetChipType(ChipType type) { bytes[hdr::kChipType] = static_cast<uint8_t>(type); }
  ChipType ChipTypeOf() const { return static_cast<ChipType>(bytes[hdr::kChipType]); }
  void SetOptions(uint8_t bits) { bytes[hdr::kOptions] = bits; }
  void SetMarker() { bytes[hdr::kMarker] = kMarkerValue; }
  uint8_t Marker() const { return bytes[hdr::kMarker]; }
  // The supply sets the whole byte, the programming voltage only bit 7.
  void SetSupply(Supply supply) { bytes[hdr::kVoltage] = static_cast<uint8_t>(supply); }
  void SetVppFromSupply(bool on) {
    if (on) {
      bytes[hdr::kVoltage] |= kVppFromSupplyBit;
    } else {
      bytes[hdr::kVoltage] &= static_cast<uint8_t>(~kVppFromSupplyBit);
    }
  }
  uint8_t VoltageByte() const { return bytes[hdr::kVoltage]; }
  bool VppFromSupply() const { return (bytes[hdr::kVoltage] & kVppFromSupplyBit) != 0; }
  void SetCodeBytes(const uint8_t* four) { std::memcpy(&bytes[hdr::kCodeBytes], four, 4); }

  // Bytes 16-18 from `first`, 19 and 6-7 from `last`.
  void SetRange(uint32_t first, uint32_t last) {
    bytes[hdr::kStartHigh] = static_cast<uint8_t>(first >> 16);
    bytes[hdr::kStartMiddle] = static_cast<uint8_t>(first >> 8);
    bytes[hdr::kStartLow] = static_cast<uint8_t>(first);
    bytes[hdr::kEndHigh] = static_cast<uint8_t>(last >> 16);
    bytes[hdr::kEndMiddle] = static_cast<uint8_t>(last >> 8);
    bytes[hdr::kEndLow] = static_cast<uint8_t>(last);
  }
  uint32_t RangeStart() const {
    return (uint32_t{bytes[hdr::kStartHigh]} << 16) | (uint32_t{bytes[hdr::kStartMiddle]} << 8) |
           bytes[hdr::kStartLow];
  }
  uint32_t RangeEnd() const {
    return (uint32_t{bytes[hdr::kEndHigh]} << 16) | (uint32_t{bytes[hdr::kEndMiddle]} << 8) |
           bytes[hdr::kEndLow];
  }
  void SetChecksum(uint16_t sum) {
    bytes[hdr::kChecksumHigh] = static_cast<uint8_t>(sum >> 8);
    bytes[hdr::kChecksumLow] = static_cast<uint8_t>(sum);
  }
  uint16_t Checksum() const {
    return static_cast<uint16_t>(bytes[hdr::kChecksumHigh] << 8 | bytes[hdr::kChecksumLow]);
  }
  uint8_t Command() const { return bytes[hdr::kCommand]; }
  void SetCommand(uint8_t code) { bytes[hdr::kCommand] = code; }
};

// The programmer's words. A reply buffer is zero-filled before the read, so
// a word is recognised with the zero behind it: "OK" then 0, not "OKAY".
inline constexpr char kReplyOk[] = "OK";        // start acknowledgement, verdict
inline constexpr char kReplyNo[] = "NO";        // a refused command
inline constexpr char kReplyRomOk[] = "ROMOK";  // the programmer memory is initialised
// Sent unasked after a restart.
inline constexpr char kResetMessage[] = "STARRESET";
// A reply whose first byte is this reports a supply-voltage error; the
// second byte says which.
inline constexpr uint8_t kVoltageErrorMark = 'E';

// True when `reply` holds `word` and the zero after it.
inline bool IsReply(const uint8_t* reply, const char* word) {
  return std::memcmp(reply, word, std::strlen(word) + 1) == 0;
}
inline bool IsVoltageError(const uint8_t* reply) { return reply[0] == kVoltageErrorMark; }

}  // namespace zvp
