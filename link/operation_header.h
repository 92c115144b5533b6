// Filling the operation header from the window and the code buffer, the two
// value queries, and the report of a supply-voltage error.
#pragma once

#include <cstdint>

namespace zvp {

// Bytes 0-5 and 8-15 from the main window and the code buffer: "STAR", chip
// type, options, checksum box, 1, supply choice, code bytes 0x3C-0x3F.
void BuildOperationHeader();

// True while the debug-mode box ("调试模式") is ticked: the operations then
// use the PC's buffer in place of the programmer memory. Read when an
// operation is dispatched.
bool DebugMode();

// Header byte 4 from the chip-type radio buttons (1 = OTP, 2 = MTP).
void ReadChipType();
// Header byte 11: bits 0-6 the chip supply (1 = 5.0 V, 2 = 3.3 V), bit 7 set
// when the programming voltage comes from the chip supply.
void ReadVoltageChoice();
// The two halves of ReadVoltageChoice: the chip supply sets the whole byte
// (1 or 2), the programming voltage then sets or clears bit 7.
void ReadChipSupply();
void ReadProgrammingVoltage();
// option_flags from the seven enabled-and-ticked option boxes.
void ReadOptionFlags();

// A 16-bit value, high byte first; 0 with link_fault set when none came.
uint16_t QueryWord();
// A 24-bit value, high byte first; 0 with link_fault set when none came or
// the reply is text outside the hex character set.
uint32_t QueryHexTriple();

// Reports the supply-voltage error in `reply` (first byte 'E', second the
// kind): link_fault, beeps when the buzzer is on, the message box, the text.
void VoltageFault(const uint8_t* reply);

}  // namespace zvp
