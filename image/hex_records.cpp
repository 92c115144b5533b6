#include "image/hex_records.h"

#include "image/number_text.h"

namespace zvp {

namespace {

std::string Hex2(uint32_t value) {
  return FormatNumber(value & 0xFF, 16, 2);
}

}  // namespace

std::string DataRecord(uint32_t address, const uint8_t* data, uint32_t count) {
  uint32_t sum = count + ((address >> 8) & 0xFF) + (address & 0xFF);
  std::string line = ":" + Hex2(count) + FormatNumber(address & 0xFFFF, 16, 4) + "00";
  for (uint32_t i = 0; i < count; ++i) {
    line += Hex2(data[i]);
    sum += data[i];
  }
  line += Hex2(0x100 - (sum & 0xFF));
  line += "\r\n";
  return line;
}

// The segment value is the segment's base divided by 16; with addresses
// inside the 1 MiB buffer it always has four digits.
std::string SegmentRecord(uint32_t address) {
  const uint32_t segment = ((address >> 16) & 0xF) * 0x1000;
  const uint32_t sum = 0xFC - (segment >> 8) - (segment & 0xFF);
  return ":02000002" + FormatNumber(segment, 16, 4) + Hex2(sum) + "\r\n";
}

}  // namespace zvp
