// Operation codes: the byte that selects what the operation worker runs.
// The engine puts it into header byte 20 when it starts an operation. An
// operation built around one command of the programmer has that command's
// byte as its code; the others (F7, the offline master, the auto-program
// sequence, the code view...) have codes the programmer never sees, and
// every operation sets the command bytes of its exchanges itself.
#pragma once

#include <cstdint>

#include "core/protocol.h"

namespace zvp {

enum OperationCode : uint8_t {
  OpConnect = cmd::kConnect,
  OpChipChecksum = cmd::kChipChecksum,
  OpBlankCheck = cmd::kBlankCheck,
  OpEraseMtp = cmd::kEraseMtp,
  OpVerifyChip = cmd::kVerifyChip,
  OpEnableSmart = cmd::kEnableSmart,
  OpReadProtect = cmd::kReadProtect,
  OpLdcProtect = cmd::kLdcProtect,
  OpHardwareWriteProtect = cmd::kHardwareWriteProtect,
  OpProgramChip = cmd::kProgramFromMemory,
  OpMemoryChecksum = cmd::kMemoryChecksum,
  OpDownloadCode = cmd::kDownload,
  OpCopyChipToBuffer = cmd::kCopyChip,
  OpProgramChipDirect = cmd::kProgramFromPc,
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

}  // namespace zvp
