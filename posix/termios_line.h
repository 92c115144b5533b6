// The line definitions the link hands to the port ("baud=19200 parity=S
// data=8 stop=1", the text Windows' BuildCommDCB reads) in termios terms.
#pragma once

#include <termios.h>

#include <chrono>
#include <string_view>

namespace zvp {

// Applies a line definition to *tio. Keys the string leaves out keep their
// value in *tio. Input parity checking (INPCK) is switched off, so that a
// byte with a parity or framing error reaches the reader as received, as the
// Windows driver passes it. An empty string, an unknown key or an
// unsupported value returns false and leaves *tio untouched.
bool ApplyLineDefinition(std::string_view definition, termios* tio);

// One character's time on a line set up as tio: a start bit, the data bits,
// the parity bit and the stop bits. The programmer's line (8 data bits,
// parity, 1 stop bit at 19200 baud) takes 573 µs a byte.
std::chrono::nanoseconds CharacterTime(const termios& tio);

}  // namespace zvp
