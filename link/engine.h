// The operation engine: one programmer operation at a time on a worker
// thread at time-critical priority. The UI thread starts operations and never
// waits for a worker; the window learns that an operation ended through
// `busy` and the cursor.
#pragma once

#include <cstdint>

namespace zvp {

// Operation codes: the byte that selects what the worker runs, and (for most)
// the command byte header byte 20 carries to the programmer.
enum OperationCode : uint8_t {
  OpConnect = 1,
  OpChipChecksum = 2,
  OpBlankCheck = 3,
  OpEraseMtp = 4,
  OpVerifyChip = 5,
  OpEnableSmart = 6,
  OpReadProtect = 7,
  OpLdcProtect = 8,
  OpHardwareWriteProtect = 9,
  OpProgramChip = 11,
  OpMemoryChecksum = 13,
  OpDownloadCode = 14,
  OpCopyChipToBuffer = 16,
  OpProgramChipDirect = 19,
  OpInitMemory = 20,
  OpMakeOfflineMaster = 21,
  OpAutoProgram = 23,
  OpSaveHexFile = 24,
  OpOpenAndDownload = 27,
  OpViewShow = 30,
  OpViewSetAddress = 31,
  OpViewAscii = 32,
  OpViewPrevPage = 33,
  OpViewNextPage = 34,
  OpViewMemory = 35,
  OpViewChip = 36,
};

// On the UI thread: refuses without a chosen port, stops a running reset
// poll, stores the code, builds the header from the window and starts the
// worker. Returns without waiting.
void StartOperation(uint8_t code);

// The worker procedure: runs the operation whose code is in header byte 20.
int RunOperation();

// Runs `code` on the calling thread and returns when it is finished (the
// auto-program sequence's steps, and F7 on the UI thread).
void RunOperationNow(uint8_t code);

// True while the debug-mode box ("调试模式") is ticked.
bool DebugMode();

// Whether `code` does anything in this build: operations arrive one by one,
// and a code whose operation has not landed runs only the start and end
// steps.
bool OperationAvailable(uint8_t code);

// For the command line and tests: blocks until every worker started so far
// has returned. Never call it on a window's UI thread (a worker may be
// waiting for that thread).
void WaitForWorkers();

// The number of workers started since the process began.
uint64_t WorkersStarted();

}  // namespace zvp
