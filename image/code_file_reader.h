// Reading a code file's bytes into a code image: Intel HEX text (.hex, .obj)
// or a raw image (.bin), from any byte stream. Functions of their input and
// the image they fill: no window, no state. The window's loader
// (progmem/code_file) opens the file and reports the outcome.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <span>
#include <string_view>

namespace zvp {

enum class CodeFileFormat { kHexText, kRawImage };

struct CodeFileRead {
  enum class Outcome {
    kLoaded,         // range 0..end holds the file's data
    kChecksumError,  // a record's checksum is wrong (at `line`)
    kDamagedRecord,  // a record holds a foreign character or was cut (at `line`)
    kNoCode,         // no data record, or an empty raw image
    kPastTop,        // data above kHighestAddress, from `past_top` on
  };
  Outcome outcome = Outcome::kNoCode;
  uint32_t end = 0;       // kLoaded: the last address of the range
  uint64_t line = 0;      // the bad record's line, counted from 1
  uint64_t past_top = 0;  // the first address above the top that holds data
};

// Erases `image`, then reads `in` into it. HEX data records land at their
// absolute address (segment and linear address records applied); a raw
// image lands at address 0. Whatever was read before a failure stays in the
// image. Data past the image's end are never written (but count as past the
// top). The range ends where the data end (the extent rule: a record at or
// above the extent moves it to its own end, one below it only when it
// reaches beyond), at kHighestAddress when only erased bytes lie above it.
CodeFileRead ReadCodeFile(std::istream& in, CodeFileFormat format, std::span<uint8_t> image);

// How many bytes of a file the loader gives StartsAsHexText: more than the
// longest record with the blanks a text file may begin with.
constexpr size_t kHexTextProbeBytes = 4096;

// Whether the first bytes of a file are Intel HEX text: after an optional
// UTF-8 byte-order mark and blanks (spaces, tabs, line ends), a colon and
// one whole record on its line: as many hex digits as its length byte
// asks, a checksum that fits, then at most spaces or tabs up to a line end
// or the end of `head`. A raw image that
// happens to begin with a colon does not pass: it would need ten or more
// hex-digit bytes with a fitting checksum and a line end in the right place.
bool StartsAsHexText(std::string_view head);

}  // namespace zvp
