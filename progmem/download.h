// Getting the code into the programmer's own memory: erasing it
// (InitProgrammerMemory, command 12), and the download (DownloadCode): load
// the code file, erase the memory, stream the used part of the buffer
// (command 14) and compare the programmer's checksum with the buffer's.
// Both run on the operation worker (F7 runs the initialisation on the UI
// thread); results go to the status line and link_fault.
#pragma once

#include <cstdint>

#include "core/outcome.h"

namespace zvp {

// Status texts of the initialisation and the download.
extern const char kInitMemoryBusyText[];      // "正在初始化编程存储器,..."
extern const char kInitMemoryDoneText[];      // "初始化存储器成功!"
extern const char kInitMemoryFailedText[];    // the initialisation alone failed
extern const char kDownloadInitFailedText[];  // the download's initialisation failed
extern const char kDownloadNoAnswerText[];    // the announce header went unanswered
extern const char kDownloadAbortedText[];     // "下载过程已被用户中断!"
extern const char kDownloadFailedText[];      // the data stream failed

// Header preparation shared by both operations: a zeroed header filled from
// the window, range_start = 0, command 12, the checksum of 0..range_end in
// bytes 8-9 and start and end 0.
void PrepareMemoryHeader();

// Erases the programmer memory and waits for its "ROMOK"; from the erase on
// the memory counts as not loaded. In debug mode it only records that the
// buffer stands for the programmer memory.
void InitProgrammerMemory();

// Loads the code file, erases the programmer memory, streams the used part
// of the buffer and checks the programmer's checksum. The memory counts as
// not loaded from the first exchange on; memory_loaded = 1 only when all of
// it succeeded. Interrupted by the user's stop (or a wire trace that could
// not be kept), which leaves link_fault 0 and the memory not loaded;
// declined when the user would not load the file as it is.
Outcome DownloadCode();

// Streams the buffer bytes first..last (inclusive) in writes of exactly 3
// bytes, with a progress text every 43 writes and the user's stop
// (user_abort, or a wire trace that could not be kept: StopAsked) polled
// before every write. Nothing is sent when first > last.
// True when every byte went out; false after such a stop (link_fault 0)
// or a write that could not complete (link_fault 1, the programmer reported
// lost).
bool SendCodeRange(uint32_t first, uint32_t last);

}  // namespace zvp
