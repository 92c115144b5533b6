// Sums and scans over the code buffer (AppState::code_buffer, 1 MiB, index =
// chip address, 0xFF = erased). Addresses past the buffer's end are never
// read: a range is cut at the last byte of the buffer.
#pragma once

#include <cstdint>

namespace zvp {

// Sets every byte of the buffer to 0xFF (erased).
void EraseCodeBuffer();

// Sum of the bytes first..last (both included) modulo 65536; 0 when
// first > last.
uint16_t BufferChecksum(uint32_t first, uint32_t last);

// Lowest address in first..last whose byte is not 0xFF; last + 1 (after the
// cut) when there is none.
uint32_t FirstUsedAddress(uint32_t first, uint32_t last);

// Highest address in first..last whose byte is not 0xFF, searching down from
// last but never below first: when every byte above first is 0xFF the result
// is first, whatever that byte holds.
uint32_t LastUsedAddress(uint32_t first, uint32_t last);

}  // namespace zvp
