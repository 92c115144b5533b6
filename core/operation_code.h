// Operation codes: the byte that selects what the operation worker runs,
// and (for most) the command byte header byte 20 carries to the programmer.
#pragma once

#include <cstdint>

namespace zvp {

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

}  // namespace zvp
