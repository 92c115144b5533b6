// Writing Intel HEX text: the records the HEX save writes, one line each,
// upper-case digits, CR LF. Functions of their arguments only.
#pragma once

#include <cstdint>
#include <string>

namespace zvp {

// A data record (type 00) of `count` (1..16) bytes at bits 15-0 of `address`.
std::string DataRecord(uint32_t address, const uint8_t* data, uint32_t count);

// An extended segment address record (type 02) that makes the 64 KiB segment
// of `address` the current one.
std::string SegmentRecord(uint32_t address);

}  // namespace zvp
