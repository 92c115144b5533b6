// How far a running operation has got, as a value: its stage and the
// address reached. The status text is made from it in one place
// (ProgressText), so a front end that shows progress its own way (the
// command line redraws a progress line in place) decides on the value and
// never reads the words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zvp {

enum class ProgressStage {
  kBlankCheck,
  kChipChecksum,
  kVerify,
  kVerifyDirect,  // debug mode: the PC reads the chip back block by block
  kProgram,
  kProgramDirect,  // debug mode: the PC streams the code
  kCopyChip,
  kMemoryChecksum,
  kDownload,
  kSaveHex,
};

struct Progress {
  ProgressStage stage;
  // The address reached; none as the stage begins.
  std::optional<uint32_t> address = std::nullopt;
  // Saving: the last address of the page read from `address`.
  uint32_t page_end = 0;
};

// The status line's words for `progress`, as the window has always shown
// them: "请稍候,芯片空检查......" as a stage begins, then the stage's words and
// the address (five hex digits; four while streaming the code; a page's
// first and last while saving).
std::string ProgressText(const Progress& progress);

}  // namespace zvp
