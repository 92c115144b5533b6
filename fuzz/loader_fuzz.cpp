// libFuzzer target for the code file reader: every input is read as Intel
// HEX text and as a raw image, straight from memory into a code image (no
// file, no window). Besides the sanitizers' findings, a read that breaks the
// reader's promises aborts the run:
//   - a success leaves range 0..end with end <= 0x7FFF and nothing but
//     erased bytes above end: no byte of the file is left out of what would
//     be programmed;
//   - a raw image lands byte for byte at address 0 on an erased image, and is
//     refused exactly when it holds data above 0x7FFF;
//   - input that the HEX-text check takes for HEX text (the question before
//     a .bin is loaded) reads as HEX without a fault at its first record.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "image/code_buffer.h"
#include "image/code_file_reader.h"

namespace {

using zvp::CodeFileFormat;
using zvp::CodeFileRead;

void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "the reader broke its promise: %s\n", what);
  std::abort();
}

bool ErasedFrom(const std::vector<uint8_t>& image, size_t from) {
  return std::all_of(image.begin() + static_cast<std::ptrdiff_t>(from), image.end(),
                     [](uint8_t b) { return b == zvp::kErasedByte; });
}

CodeFileRead Read(const uint8_t* data, size_t size, CodeFileFormat format,
                  std::vector<uint8_t>* image) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  const CodeFileRead read = zvp::ReadCodeFile(in, format, *image);
  if (read.outcome == CodeFileRead::Outcome::kLoaded) {
    Require(read.end <= zvp::kHighestAddress, "range within 0..7FFF");
    Require(ErasedFrom(*image, read.end + 1), "nothing but erased bytes above the range");
  }
  if (read.outcome == CodeFileRead::Outcome::kPastTop) {
    Require(read.past_top > zvp::kHighestAddress, "data past the top lie above 7FFF");
  }
  return read;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Smaller than the program's 1 MiB, so that an input costs less than
  // touching a whole megabyte: the reader takes an image of any size, and
  // what lies past its end (past the top either way) is the same rule.
  static std::vector<uint8_t> image(4 * (zvp::kHighestAddress + 1));
  const CodeFileRead hex = Read(data, size, CodeFileFormat::kHexText, &image);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (zvp::StartsAsHexText(text)) {
    // The line of the first colon, counted as the reader counts: LF, CR LF
    // and a lone CR each end one line.
    uint64_t line = 1;
    const size_t colon = text.find(':');
    for (size_t i = 0; i < colon; ++i) {
      if (text[i] == '\r' || (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))) ++line;
    }
    const bool faulted = hex.outcome == CodeFileRead::Outcome::kChecksumError ||
                         hex.outcome == CodeFileRead::Outcome::kDamagedRecord;
    Require(!faulted || hex.line != line, "what looks like HEX text reads as HEX at its first record");
  }

  const CodeFileRead raw = Read(data, size, CodeFileFormat::kRawImage, &image);
  const size_t taken = std::min<size_t>(size, image.size());
  if (taken > 0) Require(std::memcmp(image.data(), data, taken) == 0, "raw image at address 0");
  Require(ErasedFrom(image, taken), "rest erased");
  const bool past_top = size > image.size() ||
                        (taken > zvp::kHighestAddress + 1 && !ErasedFrom(image, zvp::kHighestAddress + 1));
  if (size == 0) {
    Require(raw.outcome == CodeFileRead::Outcome::kNoCode, "an empty image has no code");
  } else if (past_top) {
    Require(raw.outcome == CodeFileRead::Outcome::kPastTop, "data past the top refused");
  } else {
    Require(raw.outcome == CodeFileRead::Outcome::kLoaded &&
                raw.end == std::min<uint32_t>(taken - 1, zvp::kHighestAddress),
            "raw range");
  }
  return 0;
}
