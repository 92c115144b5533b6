#include "image/code_buffer.h"

#include <algorithm>

#include "link/app_state.h"

namespace zvp {

namespace {

constexpr uint32_t kLastBufferAddress = kCodeBufferSize - 1;
constexpr uint8_t kErased = 0xFF;

// Callers pass ranges from the address boxes or from a file; cutting `last`
// here keeps a stray value from reading past the buffer.
uint32_t ClipLast(uint32_t last) {
  return std::min(last, kLastBufferAddress);
}

}  // namespace

void EraseCodeBuffer() {
  App().code_buffer.fill(kErased);
}

uint16_t BufferChecksum(uint32_t first, uint32_t last) {
  last = ClipLast(last);
  const auto& buffer = App().code_buffer;
  uint32_t sum = 0;
  // `a <= last` cannot overflow: last is at most the buffer's last address.
  for (uint32_t a = first; a <= last; ++a) sum += buffer[a];
  return static_cast<uint16_t>(sum);
}

uint32_t FirstUsedAddress(uint32_t first, uint32_t last) {
  last = ClipLast(last);
  const auto& buffer = App().code_buffer;
  for (uint32_t a = first; a <= last; ++a) {
    if (buffer[a] != kErased) return a;
  }
  return last + 1;
}

uint32_t LastUsedAddress(uint32_t first, uint32_t last) {
  last = ClipLast(last);
  const auto& buffer = App().code_buffer;
  // The byte at `first` is never looked at: a range that is erased above it
  // still has one byte to send.
  for (uint32_t a = last; a > first; --a) {
    if (buffer[a] != kErased) return a;
  }
  return first;
}

}  // namespace zvp
