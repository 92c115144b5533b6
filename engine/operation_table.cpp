#include "engine/operation_table.h"

#include <type_traits>

#include "chipops/blank_check.h"
#include "chipops/copy_chip.h"
#include "chipops/option_command.h"
#include "chipops/program_chip.h"
#include "chipops/verify_chip.h"
#include "core/control_ids.h"
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

// An operation that does not need its code. One that returns no outcome
// ends either done or with link_fault set, which RunOperation reads.
template <auto Operation>
Outcome Run(uint8_t) {
  if constexpr (std::is_same_v<decltype(Operation()), Outcome>) {
    return Operation();
  } else {
    Operation();
    return Outcome::kDone;
  }
}

Outcome OpenAndDownload(uint8_t) {
  if (!ChooseCodeFile()) return Outcome::kDeclined;
  return DownloadCode();
}

constexpr OperationEntry kOperations[] = {
    // code                   word                step name     button
    {OpChipChecksum, "chipsum", "芯片检查和", ctl::kChipChecksum, Run<ChipChecksum>, nullptr},
    {OpBlankCheck, "blank-check", "空检查", ctl::kBlankCheck, Run<BlankCheck>, nullptr},
    {OpEraseMtp, "erase", "擦除MTP", ctl::kEraseMtp, OptionCommand, nullptr},
    {OpVerifyChip, "verify", "校验", ctl::kVerifyChip, Run<VerifyChip>, Run<VerifyChipDirect>},
    {OpEnableSmart, nullptr, "使能SMART", 0, OptionCommand, nullptr},
    {OpReadProtect, "read-protect", "读保护", ctl::kReadProtect, OptionCommand, nullptr},
    {OpLdcProtect, "ldc-protect", "LDC保护", ctl::kLdcProtect, OptionCommand, nullptr},
    {OpHardwareWriteProtect, "hw-write-protect", "硬件写保护", ctl::kHwWriteProtect,
     OptionCommand, nullptr},
    {OpProgramChip, nullptr, "编程", 0, Run<ProgramChip>, nullptr},
    {OpMemoryChecksum, "memsum", nullptr, ctl::kBufferChecksum, Run<ProgrammerMemoryChecksum>,
     nullptr},
    {OpDownloadCode, "download", nullptr, ctl::kDownload, Run<DownloadCode>, nullptr},
    {OpCopyChipToBuffer, "copy-chip", nullptr, ctl::kCopyChip, Run<CopyChipToMemory>,
     Run<CopyChipDirect>},
    {OpProgramChipDirect, nullptr, "直接编程", 0, Run<ProgramChipDirect>, nullptr},
    // F7 on a button, not a button of its own.
    {OpInitMemory, "init-memory", nullptr, 0, Run<InitProgrammerMemory>, nullptr},
    {OpMakeOfflineMaster, "offline-master", nullptr, ctl::kOfflineMaster, Run<MakeOfflineMaster>,
     nullptr},
    {OpAutoProgram, "auto", nullptr, ctl::kAutoProgram, Run<AutoProgram>, Run<AutoProgramDirect>},
    {OpSaveHexFile, "save-hex", nullptr, ctl::kSaveHex, Run<SaveHexFile>, nullptr},
    {OpOpenAndDownload, nullptr, nullptr, ctl::kOpenFile, OpenAndDownload, nullptr},
    {OpViewShow, "view", nullptr, ctl::kShowMemory, RefreshCodeView, nullptr},
    {OpViewSetAddress, nullptr, nullptr, ctl::kViewSet, RefreshCodeView, nullptr},
    {OpViewAscii, nullptr, nullptr, ctl::kViewAscii, RefreshCodeView, nullptr},
    {OpViewPrevPage, nullptr, nullptr, ctl::kPrevPage, RefreshCodeView, nullptr},
    {OpViewNextPage, nullptr, nullptr, ctl::kNextPage, RefreshCodeView, nullptr},
    {OpViewMemory, nullptr, nullptr, ctl::kViewMemory, RefreshCodeView, nullptr},
    {OpViewChip, nullptr, nullptr, ctl::kViewChip, RefreshCodeView, nullptr},
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

Outcome DispatchOperation(uint8_t code) {
  if (code >= OpViewShow) return RefreshCodeView(code);
  const OperationEntry* entry = FindOperation(code);
  if (entry == nullptr) return Outcome::kDone;
  // The debug box is read now, when the worker dispatches, not at the click.
  const auto run = entry->run_debug != nullptr && DebugMode() ? entry->run_debug : entry->run;
  return run(code);
}

}  // namespace zvp
