// A bench for the read-back operations: the port open, a chip with a known
// pattern in the virtual programmer's socket, and helpers to look at what
// went over the wire.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "link/operation_header.h"
#include "tests/support/link_fixture.h"
#include "tests/support/header_from_window.h"

namespace zvp::test {

// A header the programmer received, as (command, first, last).
struct SentHeader {
  int command;
  uint32_t first, last;
  bool operator==(const SentHeader&) const = default;
};

// GoogleTest prints a header readably when a comparison fails.
inline std::ostream& operator<<(std::ostream& os, const SentHeader& s) {
  return os << "{cmd " << s.command << ", " << std::hex << s.first << ".." << s.last << std::dec
            << "}";
}

class ReadBackTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    OpenQuietly();
    App().port_chosen = true;
    App().programmer_found = true;
    // A pattern with no 0xFF runs, so that a byte copied to the wrong
    // address or left out shows.
    for (uint32_t a = 0; a < kSimChipSize; ++a) device_.chip().memory[a] = Pattern(a);
    // The header as StartOperation leaves it for the operation.
    BuildHeaderFromWindow();
  }

  static uint8_t Pattern(uint32_t a) {
    return static_cast<uint8_t>((a * 7 + (a >> 8) * 3 + 1) & 0xFF);
  }

  void SetRange(uint32_t start, uint32_t end) {
    App().range_start = start;
    App().range_end = end;
  }
  // The buffer holds what the chip holds over first..last.
  void BufferMatchesChip(uint32_t first, uint32_t last) {
    for (uint32_t a = first; a <= last; ++a) App().code_buffer[a] = device_.chip().memory[a];
  }
  std::vector<SentHeader> Headers() const {
    std::vector<SentHeader> out;
    for (const auto& h : device_.headers())
      out.push_back({h[hdr::kCommand], h.RangeStart(), h.RangeEnd()});
    return out;
  }
  // The 16-bit sum of the chip's bytes first..last, as the programmer sees it.
  uint16_t ChipBytesSum(uint32_t first, uint32_t last) {
    uint32_t sum = 0;
    for (uint32_t a = first; a <= last; ++a) sum += device_.chip().memory[a];
    return static_cast<uint16_t>(sum);
  }
};

}  // namespace zvp::test
