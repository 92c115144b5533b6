#include "link/operations.h"

#include "chipops/auto_program.h"
#include "progmem/offline_master.h"
#include "chipops/blank_check.h"
#include "chipops/copy_chip.h"
#include "chipops/option_command.h"
#include "chipops/program_chip.h"
#include "chipops/verify_chip.h"
#include "image/code_file_loader.h"
#include "image/hex_writer.h"
#include "link/engine.h"
#include "progmem/download.h"
#include "progmem/memory_checksum.h"
#include "ui/code_view.h"

namespace zvp {

// Operations join this table as they are built; until then their codes run
// only the engine's start and end steps.
void RunProgrammerOperation(uint8_t code) {
  switch (code) {
    case OpChipChecksum:
      ChipChecksum();
      break;
    case OpVerifyChip:
      if (DebugMode()) {
        VerifyChipDirect();
      } else {
        VerifyChip();
      }
      break;
    case OpCopyChipToBuffer:
      if (DebugMode()) {
        CopyChipDirect();
      } else {
        CopyChipToMemory();
      }
      break;
    case OpBlankCheck:
      BlankCheck();
      break;
    case OpEraseMtp:
    case OpEnableSmart:
    case OpReadProtect:
    case OpLdcProtect:
    case OpHardwareWriteProtect:
      OptionCommand(code);
      break;
    case OpProgramChip:
      ProgramChip();
      break;
    case OpProgramChipDirect:
      ProgramChipDirect();
      break;
    case OpMakeOfflineMaster:
      MakeOfflineMaster();
      break;
    case OpAutoProgram:
      if (DebugMode()) {
        AutoProgramDirect();
      } else {
        AutoProgram();
      }
      break;
    case OpSaveHexFile:
      SaveHexFile();
      break;
    case OpMemoryChecksum:
      ProgrammerMemoryChecksum();
      break;
    case OpDownloadCode:
      DownloadCode();
      break;
    case OpInitMemory:
      InitProgrammerMemory();
      break;
    case OpOpenAndDownload:
      if (ChooseCodeFile()) DownloadCode();
      break;
    default:
      break;
  }
}

void RunViewOperation(uint8_t code) { RefreshCodeView(code); }

bool OperationAvailable(uint8_t code) {
  switch (code) {
    case OpChipChecksum:
    case OpVerifyChip:
    case OpCopyChipToBuffer:
    case OpBlankCheck:
    case OpEraseMtp:
    case OpEnableSmart:
    case OpReadProtect:
    case OpLdcProtect:
    case OpHardwareWriteProtect:
    case OpProgramChip:
    case OpProgramChipDirect:
    case OpAutoProgram:
    case OpMakeOfflineMaster:
      return true;
    case OpSaveHexFile:
    case OpViewShow:
    case OpViewSetAddress:
    case OpViewAscii:
    case OpViewPrevPage:
    case OpViewNextPage:
    case OpViewMemory:
    case OpViewChip:
      return true;
    case OpMemoryChecksum:
    case OpDownloadCode:
    case OpInitMemory:
    case OpOpenAndDownload:
      return true;
    default:
      return false;
  }
}

}  // namespace zvp
