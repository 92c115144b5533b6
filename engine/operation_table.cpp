#include "engine/operation_table.h"

#include "chipops/blank_check.h"
#include "chipops/copy_chip.h"
#include "chipops/option_command.h"
#include "chipops/program_chip.h"
#include "chipops/verify_chip.h"
#include "core/operation_code.h"
#include "engine/auto_program.h"
#include "engine/code_view.h"
#include "link/operation_header.h"
#include "progmem/code_file.h"
#include "progmem/download.h"
#include "progmem/memory_checksum.h"
#include "progmem/offline_master.h"
#include "progmem/save_hex.h"

namespace zvp {

namespace {

// An operation that does not need its code.
template <auto Operation>
void Run(uint8_t) {
  Operation();
}

void OpenAndDownload(uint8_t) {
  if (ChooseCodeFile()) DownloadCode();
}

constexpr OperationEntry kOperations[] = {
    // code                   word                step name
    {OpChipChecksum, "chipsum", "芯片检查和", Run<ChipChecksum>, nullptr},
    {OpBlankCheck, "blank-check", "空检查", Run<BlankCheck>, nullptr},
    {OpEraseMtp, "erase", "擦除MTP", OptionCommand, nullptr},
    {OpVerifyChip, "verify", "校验", Run<VerifyChip>, Run<VerifyChipDirect>},
    {OpEnableSmart, nullptr, "使能SMART", OptionCommand, nullptr},
    {OpReadProtect, "read-protect", "读保护", OptionCommand, nullptr},
    {OpLdcProtect, "ldc-protect", "LDC保护", OptionCommand, nullptr},
    {OpHardwareWriteProtect, "hw-write-protect", "硬件写保护", OptionCommand, nullptr},
    {OpProgramChip, nullptr, "编程", Run<ProgramChip>, nullptr},
    {OpMemoryChecksum, "memsum", nullptr, Run<ProgrammerMemoryChecksum>, nullptr},
    {OpDownloadCode, "download", nullptr, Run<DownloadCode>, nullptr},
    {OpCopyChipToBuffer, "copy-chip", nullptr, Run<CopyChipToMemory>, Run<CopyChipDirect>},
    {OpProgramChipDirect, nullptr, "直接编程", Run<ProgramChipDirect>, nullptr},
    // F7 on a button, not a button of its own.
    {OpInitMemory, "init-memory", nullptr, Run<InitProgrammerMemory>, nullptr},
    {OpMakeOfflineMaster, "offline-master", nullptr, Run<MakeOfflineMaster>, nullptr},
    {OpAutoProgram, "auto", nullptr, Run<AutoProgram>, Run<AutoProgramDirect>},
    {OpSaveHexFile, "save-hex", nullptr, Run<SaveHexFile>, nullptr},
    {OpOpenAndDownload, nullptr, nullptr, OpenAndDownload, nullptr},
    {OpViewShow, "view", nullptr, RefreshCodeView, nullptr},
    {OpViewSetAddress, nullptr, nullptr, RefreshCodeView, nullptr},
    {OpViewAscii, nullptr, nullptr, RefreshCodeView, nullptr},
    {OpViewPrevPage, nullptr, nullptr, RefreshCodeView, nullptr},
    {OpViewNextPage, nullptr, nullptr, RefreshCodeView, nullptr},
    {OpViewMemory, nullptr, nullptr, RefreshCodeView, nullptr},
    {OpViewChip, nullptr, nullptr, RefreshCodeView, nullptr},
};

}  // namespace

std::span<const OperationEntry> Operations() { return kOperations; }

const OperationEntry* FindOperation(uint8_t code) {
  for (const OperationEntry& e : kOperations) {
    if (e.code == code) return &e;
  }
  return nullptr;
}

const OperationEntry* FindOperationByWord(std::string_view word) {
  for (const OperationEntry& e : kOperations) {
    if (e.word != nullptr && word == e.word) return &e;
  }
  return nullptr;
}

void DispatchOperation(uint8_t code) {
  if (code >= OpViewShow) {
    RefreshCodeView(code);
    return;
  }
  const OperationEntry* entry = FindOperation(code);
  if (entry == nullptr) return;
  // The debug box is read now, when the worker dispatches, not at the click.
  const auto run = entry->run_debug != nullptr && DebugMode() ? entry->run_debug : entry->run;
  run(code);
}

}  // namespace zvp
