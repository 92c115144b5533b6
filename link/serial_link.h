// The serial link: the byte-level primitives every programmer operation is
// built from. They work on App().port and report transfer failures only by
// setting App().link_fault; callers clear it before an operation and test it
// after each transfer.
#pragma once

#include <cstdint>
#include <string>

#include "core/operator_choices.h"
#include "core/serial_port.h"

namespace zvp {

// Time-out sets the link uses, in CommTimeouts order.
constexpr CommTimeouts kHeaderTimeouts{5, 5, 5, 5, 5};     // before the header exchange
constexpr CommTimeouts kBlockTimeouts{9, 50, 9, 50, 9};    // block transfers
constexpr CommTimeouts kReplyTimeouts{9, 9, 9, 9, 9};      // after a good header exchange
constexpr CommTimeouts kPollTimeouts{5, 5, 5, 5, 5};       // reset poll, chip read-back

constexpr char kLineDefinition[] = "baud=19200 parity=S data=8 stop=1";

// How long BeginLink waits for the transmit buffer to empty, and how often a
// refused error-clear, purge or empty write is repeated before the port is
// taken as gone.
constexpr uint32_t kTxEmptyTimeoutMs = 500;
constexpr int kPortRetryLimit = 20;

// Closes the port, opens `name` ("COM1".."COM4") and runs the connect
// exchange (a header of 0x55 bytes filled by BuildOperationHeader from
// `choices`, command 1). True when the programmer answered.
bool OpenPort(const std::string& name, const OperatorChoices& choices);

// Prepares the open port for one operation and exchanges the 21-byte header
// in App().header with the programmer. True on success. A reset message
// heard before the header goes out, or read in place of its answer, fails
// it without a text of its own: the reaction to the reset says what
// happened. App().headers_reached counts the answered headers and those
// answered by a reset message.
bool BeginLink();

// Clears errors, listens to what is waiting, purges and applies the line
// settings.
void ConfigurePort();

// Applies one time-out set; note the argument order (each constant before its
// per-byte factor).
void SetLinkTimeouts(uint32_t read_interval, uint32_t read_constant, uint32_t read_per_byte,
                     uint32_t write_constant, uint32_t write_per_byte);
void SetLinkTimeouts(const CommTimeouts& set);

// Clears the port's error state and break condition. False (and link_fault
// set) when the port keeps refusing.
bool ClearLineErrors();

// Reads exactly `length` bytes in chunks of 256, stopping at the first chunk
// that brings nothing (link_fault = 1).
void ReceiveBlock(uint8_t* buf, uint32_t length, uint32_t* count);

// Writes `length` bytes in chunks of 255.
void SendBlock(const uint8_t* buf, uint32_t length, uint32_t* count);

// Zero-fills buf[0..size), waits up to `tries` reads for the first byte of a
// reply, then (reply_length >= 2) pauses 50 ms and reads the rest in one read.
// link_fault = 1 when no first byte came.
void AwaitReply(uint8_t* buf, uint32_t size, uint32_t reply_length, uint32_t tries);

// Reads what has already arrived in the input queue, without waiting for
// more (at most 4 KiB), listening in it for the reset message
// (link/reset_scan.h); when the bytes end in the start of the message, waits
// 10 ms for its rest once. Every purge of the link comes after this, and an
// operation that failed ends with it.
void ListenToWaitingInput();

// For an operation whose reply failed its check, before a message box says
// so: the reply may have been the start of the programmer's reset message
// ("ST" reads as a sum too). Listens to the rest and tells whether the
// programmer restarted; the reaction to the reset then says what happened,
// and a box asking to try again would mislead.
bool RestartedInsteadOfReplying();

// Blocks the calling thread for `ms` milliseconds.
void DelayMs(uint32_t ms);

}  // namespace zvp
