// Sums and scans over a code image (1 MiB, index = chip address, 0xFF =
// erased). Functions of the bytes they are given: no window, no state.
// Addresses past the image's end are never read: a range is cut at its last
// byte.
#pragma once

#include <cstdint>
#include <span>

namespace zvp {

constexpr uint32_t kCodeBufferSize = 0x100000;  // 1 MiB, index = chip address
constexpr uint32_t kHighestAddress = 0x7FFF;     // no operation works above it
constexpr uint8_t kErasedByte = 0xFF;

// Sets every byte to 0xFF (erased).
void EraseCodeBuffer(std::span<uint8_t> image);

// Sum of the bytes first..last (both included) modulo 65536; 0 when
// first > last.
uint16_t BufferChecksum(std::span<const uint8_t> image, uint32_t first, uint32_t last);

// Lowest address in first..last whose byte is not 0xFF; last + 1 (after the
// cut) when there is none.
uint32_t FirstUsedAddress(std::span<const uint8_t> image, uint32_t first, uint32_t last);

// Highest address in first..last whose byte is not 0xFF, searching down from
// last but never below first: when every byte above first is 0xFF the result
// is first, whatever that byte holds.
uint32_t LastUsedAddress(std::span<const uint8_t> image, uint32_t first, uint32_t last);

}  // namespace zvp
