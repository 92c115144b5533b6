#include "engine/operation_table.h"

#include <type_traits>

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

using enum Guard;
// The memory checks of "校验芯片" come before the range; "缓冲区检查和" and
// "制作脱机烧写母片" also refuse a memory that was edited by hand.
constexpr std::array<Guard, 3> kNoGuards{};
constexpr std::array<Guard, 3> kRangeOnly{kRangeRead};
constexpr std::array<Guard, 3> kLoadedMemory{kCodeInMemory, kRangeRead};
constexpr std::array<Guard, 3> kDownloadedMemory{kMemoryNotEdited, kCodeInMemory, kRangeRead};
// "自动编程" reads the range first: the checksum must have been taken over
// the range read.
constexpr std::array<Guard, 3> kSummedRange{kRangeRead, kChecksumOfRange, kCodeInMemory};

// The worded entries stand in the order the usage lists them, the way an
// operator works: load the memory, check the chip, program it.
constexpr OperationEntry kOperations[] = {
    // code, word, argument, step name, guards, run, run in debug mode
    {OpDownloadCode, "download", nullptr, nullptr, kNoGuards, Run<DownloadCode>, nullptr},
    {OpOpenAndDownload, nullptr, nullptr, nullptr, kNoGuards, OpenAndDownload, nullptr},
    {OpMemoryChecksum, "memsum", nullptr, nullptr, kDownloadedMemory, Run<ProgrammerMemoryChecksum>,
     nullptr},
    // F7 on a button, not a button of its own.
    {OpInitMemory, "init-memory", nullptr, nullptr, kNoGuards, Run<InitProgrammerMemory>, nullptr},
    {OpBlankCheck, "blank-check", nullptr, "空检查", kRangeOnly, Run<BlankCheck>, nullptr},
    {OpVerifyChip, "verify", nullptr, "校验", kLoadedMemory, Run<VerifyChip>,
     Run<VerifyChipDirect>},
    {OpChipChecksum, "chipsum", nullptr, "芯片检查和", kRangeOnly, Run<ChipChecksum>, nullptr},
    {OpCopyChipToBuffer, "copy-chip", nullptr, nullptr, kRangeOnly, Run<CopyChipToMemory>,
     Run<CopyChipDirect>},
    {OpEraseMtp, "erase", nullptr, "擦除MTP", kNoGuards, OptionCommand, nullptr},
    {OpEnableSmart, nullptr, nullptr, "使能SMART", kNoGuards, OptionCommand, nullptr},
    {OpReadProtect, "read-protect", nullptr, "读保护", kNoGuards, OptionCommand, nullptr},
    {OpLdcProtect, "ldc-protect", nullptr, "LDC保护", kNoGuards, OptionCommand, nullptr},
    {OpHardwareWriteProtect, "hw-write-protect", nullptr, "硬件写保护", kNoGuards, OptionCommand,
     nullptr},
    {OpProgramChip, nullptr, nullptr, "编程", kNoGuards, Run<ProgramChip>, nullptr},
    {OpProgramChipDirect, nullptr, nullptr, "直接编程", kNoGuards, Run<ProgramChipDirect>, nullptr},
    {OpAutoProgram, "auto", nullptr, nullptr, kSummedRange, Run<AutoProgram>,
     Run<AutoProgramDirect>},
    {OpMakeOfflineMaster, "offline-master", nullptr, nullptr, kDownloadedMemory,
     Run<MakeOfflineMaster>, nullptr},
    {OpSaveHexFile, "save-hex", "PATH", nullptr, kRangeOnly, Run<SaveHexFile>, nullptr},
    {OpViewShow, "view", "ADDR (up to 5 hex digits)", nullptr, kNoGuards, RefreshCodeView, nullptr},
    {OpViewSetAddress, nullptr, nullptr, nullptr, kNoGuards, RefreshCodeView, nullptr},
    {OpViewAscii, nullptr, nullptr, nullptr, kNoGuards, RefreshCodeView, nullptr},
    {OpViewPrevPage, nullptr, nullptr, nullptr, kNoGuards, RefreshCodeView, nullptr},
    {OpViewNextPage, nullptr, nullptr, nullptr, kNoGuards, RefreshCodeView, nullptr},
    {OpViewMemory, nullptr, nullptr, nullptr, kNoGuards, RefreshCodeView, nullptr},
    {OpViewChip, nullptr, nullptr, nullptr, kNoGuards, RefreshCodeView, nullptr},
};

}  // namespace

std::span<const OperationEntry> Operations() {
  return kOperations;
}

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

std::string CommandListLines(std::string_view first, std::string_view last) {
  constexpr size_t kWidth = 80;
  std::string text, line;
  auto add = [&](std::string_view item) {
    if (!line.empty() && line.size() + 1 + item.size() > kWidth) {
      text += line + "\n";
      line.clear();
    }
    line += line.empty() ? "  " : " ";
    line += item;
  };
  add(first);
  for (const OperationEntry& e : kOperations) {
    if (e.word == nullptr) continue;
    add(e.argument == nullptr ? std::string(e.word) : std::string(e.word) + " " + e.argument);
  }
  add(last);
  return text + line + "\n";
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
