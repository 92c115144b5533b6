#include "image/code_buffer.h"

#include <algorithm>

namespace zvp {

namespace {

// Callers pass ranges from the address boxes or from a file; cutting `last`
// here keeps a stray value from reading past the image.
uint32_t ClipLast(std::span<const uint8_t> image, uint32_t last) {
  return std::min<uint32_t>(last, static_cast<uint32_t>(image.size()) - 1);
}

}  // namespace

void EraseCodeBuffer(std::span<uint8_t> image) {
  std::fill(image.begin(), image.end(), kErasedByte);
}

uint16_t BufferChecksum(std::span<const uint8_t> image, uint32_t first, uint32_t last) {
  if (image.empty()) return 0;
  last = ClipLast(image, last);
  uint32_t sum = 0;
  // `a <= last` cannot overflow: last is at most the image's last address.
  for (uint32_t a = first; a <= last; ++a) sum += image[a];
  return static_cast<uint16_t>(sum);
}

uint32_t FirstUsedAddress(std::span<const uint8_t> image, uint32_t first, uint32_t last) {
  last = ClipLast(image, last);
  for (uint32_t a = first; a <= last; ++a) {
    if (image[a] != kErasedByte) return a;
  }
  return last + 1;
}

uint32_t LastUsedAddress(std::span<const uint8_t> image, uint32_t first, uint32_t last) {
  last = ClipLast(image, last);
  // The byte at `first` is never looked at: a range that is erased above it
  // still has one byte to send.
  for (uint32_t a = last; a > first; --a) {
    if (image[a] != kErasedByte) return a;
  }
  return first;
}

}  // namespace zvp
