// Listening for the programmer's reset message amid the traffic. A
// programmer that restarts has lost its memory and sends "STARRESET" on its
// own as soon as it is back. During an operation those bytes arrive where a
// reply was expected, or wait in the input queue for the purge that opens the
// next exchange. So every byte the link reads, and every byte waiting before
// a purge, passes through here; the message is heard also when it is split
// over two reads, or over a reply and the queue behind it.
#pragma once

#include <cstdint>

namespace zvp {

// Takes bytes the link has read, in the order they came. When they complete
// "STARRESET", App().reset_heard is set (and the wire trace says "RESET
// heard"); whoever ends the operation reacts to it (link/connection.h).
void ListenForReset(const uint8_t* data, uint32_t n);

// Whether the bytes read last end in the first two or more bytes of the
// message: the rest may still be on its way.
bool ResetMessageUnderway();

// Forgets the bytes listened to, and a reset heard among them. For a new
// connection (a restart before it lost no code of this program's) and for a
// block of chip data whose sum the programmer confirmed (a chip may hold
// those nine letters).
void ForgetListenedBytes();

}  // namespace zvp
