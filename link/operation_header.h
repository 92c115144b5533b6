// Filling the operation header from the operator's choices and the code
// buffer, the two value queries, and the report of a supply-voltage error.
#pragma once

#include <cstdint>

#include "core/operator_choices.h"

namespace zvp {

// Bytes 0-5 and 8-15 from `choices`, the checksum box and the code buffer:
// "STAR", chip type, options, checksum box, 1, supply choice, code bytes
// 0x3C-0x3F.
void BuildOperationHeader(const OperatorChoices& choices);

// True while the debug box ("调试模式") is ticked: the operations then use
// the PC's buffer in place of the programmer memory. Read when an operation
// is dispatched (and where it asks again), not taken with the choices at the
// click.
bool DebugMode();

// Header byte 4 from the chip type (1 = OTP, 2 = MTP; none keeps the byte).
void ApplyChipType(const OperatorChoices& choices);
// Header byte 11: bits 0-6 the chip supply (1 = 5.0 V, 2 = 3.3 V), bit 7 set
// when the programming voltage comes from the chip supply.
void ApplyVoltageChoice(const OperatorChoices& choices);
// The two halves of ApplyVoltageChoice: the chip supply sets the whole byte
// (1 or 2), the programming voltage then sets or clears bit 7.
void ApplyChipSupply(const OperatorChoices& choices);
void ApplyProgrammingVoltage(const OperatorChoices& choices);
// option_flags from the choices' option boxes.
void ApplyOptionFlags(const OperatorChoices& choices);

// A 16-bit value, high byte first; 0 with link_fault set when none came.
uint16_t QueryWord();
// A 24-bit value, high byte first; 0 with link_fault set when none came or
// the reply is text outside the hex character set.
uint32_t QueryHexTriple();

// Reports the supply-voltage error in `reply` (first byte 'E', second the
// kind): link_fault, beeps when the buzzer is on, the message box, the text.
void VoltageFault(const uint8_t* reply);

}  // namespace zvp
