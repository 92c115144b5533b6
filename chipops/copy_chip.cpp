#include "chipops/copy_chip.h"

#include <algorithm>
#include <string>

#include "chipops/chip_command.h"
#include "chipops/read_block.h"
#include "image/code_buffer.h"
#include "image/number_text.h"
#include "core/app_state.h"
#include "core/protocol.h"
#include "link/connection.h"
#include "link/operation_header.h"
#include "link/serial_link.h"
#include "core/status_display.h"
#include "core/user_dialogs.h"
#include "core/operation_boxes.h"

namespace zvp {

namespace {

constexpr char kCopySumText[] = "拷贝芯片数据检查和 =  ";
constexpr char kInitText[] = "正在初始化编程内存系统,该过程约需几秒到十几秒时间,请稍候......";
constexpr char kInitFailedText[] =
    "初始化编程内存失败!请重新尝试,若重复出现此信息,内存芯片可能已损坏!";
constexpr uint32_t kInitTries = 1500;  // about 27 s with the 9 ms set
constexpr uint32_t kBlockSize = 256;

// Both copies overwrite what the programmer memory holds: nothing is sent
// unless the user agrees.
bool UserAgrees() {
  MessageBox box;
  box.caption = "警 告";
  box.text = "这个操作将改变编程内存代码数据,是否继续?,";
  box.icon = MsgIcon::kWarning;
  box.buttons = MsgButtons::kYesNo;
  if (Dialogs().ShowMessage(box) == MsgAnswer::kYes) return true;
  StatusLine().SetStatus(kDeclinedText);
  return false;
}

void ShowCopySum(uint16_t sum) {
  AppState& app = App();
  StatusLine().SetStatus(std::string(kCopySumText) +
                         (app.link_fault ? "XXXX" : FormatNumber(sum, 16, 4)));
}

// Command 12 with the PC's own sum of the buffer from address 0: the
// programmer clears its memory and answers "ROMOK" when done.
bool InitialiseMemoryForCopy() {
  AppState& app = App();
  const uint32_t end = app.range_end;
  const uint16_t s0 = BufferChecksum(App().code_buffer, 0, end);
  // The copy always starts at 0; the start box keeps its text and the next
  // reading of the boxes brings its value back.
  app.range_start = 0;
  // Bits 23-16 of the end stay 0.
  app.header.SetRange(0, end & 0xFFFF);
  app.header.SetChecksum(s0);
  app.header.SetCommand(cmd::kInitMemory);
  if (!BeginLink()) return false;
  // The programmer clears its memory now: whatever it held is gone.
  ForgetProgrammerMemory();
  StatusLine().SetStatus(kInitText);
  uint8_t reply[8];
  AwaitReply(reply, sizeof reply, 5, kInitTries);
  // Five letters and the zero behind them: a longer or different reply is
  // not the initialisation's end.
  if (!IsReply(reply, kReplyRomOk)) {
    app.link_fault = 1;
    StatusLine().SetStatus(kInitFailedText);
    return false;
  }
  return true;
}

}  // namespace

Outcome CopyChipDirect() {
  AppState& app = App();
  if (!UserAgrees()) return Outcome::kDeclined;
  app.header.Fill(0);
  app.memory_edited = 0;
  BuildOperationHeader(App().choices);
  app.header.SetCommand(cmd::kReadChip);
  app.link_fault = 0;

  StatusLine().ShowProgress({ProgressStage::kCopyChip});
  DelayMs(200);

  const uint32_t start = app.range_start;
  // Never past the code buffer, whatever the range fields hold.
  const uint32_t end = std::min<uint32_t>(app.range_end, kCodeBufferSize - 1);
  uint8_t block[512];
  for (uint32_t address = start; address <= end;) {
    StatusLine().ShowProgress({ProgressStage::kCopyChip, address});
    const uint32_t last = std::min(address + (kBlockSize - 1), end);
    ReadBlock(cmd::kReadChip, block, sizeof block, address, last);
    // The blocks read so far stay in the buffer, which in debug mode stands
    // for the programmer memory: it holds no known code any more.
    if (app.link_fault) {
      ForgetProgrammerMemory();
      break;
    }
    std::copy(block, block + (last - address + 1), app.code_buffer.begin() + address);
    address = last + 1;
  }

  uint16_t sum = 0;
  if (!app.link_fault) {
    sum = BufferChecksum(App().code_buffer, start, end);
    app.checksum_end = end;
    app.memory_loaded = 1;
    app.checksum_start = start;
    Boxes().ShowChecksum(FormatNumber(sum, 16, 4));
  }
  ShowCopySum(sum);
  return app.link_fault ? Outcome::kFailed : Outcome::kDone;
}

Outcome CopyChipToMemory() {
  AppState& app = App();
  if (!UserAgrees()) return Outcome::kDeclined;
  app.header.Fill(0);
  app.memory_edited = 0;
  BuildOperationHeader(App().choices);
  if (!InitialiseMemoryForCopy()) return Outcome::kFailed;

  StatusLine().ShowProgress({ProgressStage::kCopyChip});
  DelayMs(200);
  if (!StartChipCommand(cmd::kCopyChip, false, kCopySumText + std::string("XXXX")))
    return Outcome::kFailed;
  SetLinkTimeouts(kPollTimeouts);
  const uint32_t end = app.range_end;
  // The programmer's reports are taken at most about three times a second.
  const uint32_t tracker = FollowProgress(ProgressStage::kCopyChip, end, 300);
  if (tracker < end) app.link_fault = 1;

  const uint16_t sum = QueryWord();  // read even after a failed scan
  if (!app.link_fault) {
    app.memory_loaded = 1;
    Boxes().ShowChecksum(FormatNumber(sum, 16, 4));
  }
  ShowCopySum(sum);
  return app.link_fault ? Outcome::kFailed : Outcome::kDone;
}

}  // namespace zvp
