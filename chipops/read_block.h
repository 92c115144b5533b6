// Fetching one block of bytes from the programmer: from the chip (command 10)
// or from the programmer memory (command 15).
#pragma once

#include <cstdint>

namespace zvp {

// Reads first..last (inclusive, at most `size` bytes) into dest[0..]. On
// success link_fault is 0; on failure it is 1 and the status line says
// "读取数据错误" (or what the header exchange or a supply-voltage error left
// there). A block larger than `size` is refused with a message box before
// anything is sent, and also leaves link_fault 1.
void ReadBlock(uint8_t command, uint8_t* dest, uint32_t size, uint32_t first, uint32_t last);

}  // namespace zvp
