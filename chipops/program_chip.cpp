#include "chipops/program_chip.h"

#include <string>

#include "chipops/chip_command.h"
#include "image/number_text.h"
#include "core/app_state.h"
#include "core/protocol.h"
#include "link/operation_header.h"
#include "link/serial_link.h"
#include "core/status_display.h"
#include "core/user_dialogs.h"

namespace zvp {

const char kStoppedText[] = "用户已中断操作!";

namespace {

constexpr char kProgrammedText[] = "编程成功";
constexpr char kChecksumFailedText[] = "编程芯片失败! [校验和错]";
constexpr char kReadInfoFailedText[] = "编程芯片失败! [读取编程信息错误]";
constexpr char kStreamFailedText[] = "编程失败!";

// The first status refresh comes after the first 128 bytes, not before the
// first write: the in-progress text of the start is still fresh then.
constexpr uint32_t kSendCounterStart = 0;

}  // namespace

void ProgramChip() {
  AppState& app = App();
  StatusLine().ShowProgress({ProgressStage::kProgram});
  // Without reconnect: a programmer that does not answer the header leaves
  // BeginLink's own text.
  if (!StartChipCommand(cmd::kProgramFromMemory, false, kReadInfoFailedText)) return;

  // The programmer reports until it reaches the end address itself (not one
  // past it), under the 9 ms set BeginLink left: about 540 ms of silence
  // ends the scan.
  const uint32_t tracker = FollowProgress(ProgressStage::kProgram, app.range_end, 0);
  if (tracker < app.range_end) {
    app.link_fault = 1;
    StatusLine().SetStatus(kReadInfoFailedText);
    return;
  }

  uint8_t reply[16];
  AwaitReply(reply, sizeof reply, 2, 50);
  if (IsReply(reply, kReplyOk)) {
    StatusLine().SetStatus(kProgrammedText);
    return;
  }
  app.link_fault = 1;
  StatusLine().SetStatus(kChecksumFailedText);
}

Outcome ProgramChipDirect() {
  AppState& app = App();
  StatusLine().ShowProgress({ProgressStage::kProgramDirect});
  if (!StartChipCommand(cmd::kProgramFromPc, true, kStreamFailedText)) return Outcome::kFailed;

  // Whole 8-byte writes with no pause and no per-block answer: the last one
  // carries the buffer bytes after range_end up to the end of its 8.
  const uint32_t last = app.range_end;
  uint32_t address = app.range_start;
  uint32_t since_status = kSendCounterStart;
  while (address <= last) {
    if (since_status >= kDirectStatusEvery) {
      StatusLine().ShowProgress({ProgressStage::kProgramDirect, address});
      since_status = 0;
    }
    if (app.stop_requested) {
      app.link_fault = 1;
      StatusLine().SetStatus(kStoppedText);
      return Outcome::kInterrupted;
    }
    // The range never leaves the buffer (range_end is at most 0x7FFF), but a
    // write must not read past it whatever the range fields hold.
    if (address > kCodeBufferSize - kDirectChunk) {
      app.link_fault = 1;
      break;
    }
    uint32_t sent = 0;
    SendBlock(&app.code_buffer[address], kDirectChunk, &sent);
    address += sent;
    since_status += sent;
    // A write that did not get through ends the stream: repeating it would
    // spin for ever on a port that has gone away.
    if (app.link_fault) break;
  }
  if (app.link_fault) {
    StatusLine().SetStatus(kStreamFailedText);
    return Outcome::kFailed;
  }

  // 100 tries under the block set SendBlock left (59 ms each): the
  // programmer has about 6 s to judge the stream.
  uint8_t reply[16];
  AwaitReply(reply, sizeof reply, 2, 100);
  if (IsReply(reply, kReplyOk)) {
    StatusLine().SetStatus(kProgrammedText);
    return Outcome::kDone;
  }
  app.link_fault = 1;
  // A programmer that restarted lost the stream with its memory: the reset
  // text follows, not a request to send again.
  if (RestartedInsteadOfReplying()) return Outcome::kFailed;
  MessageBox box;
  box.caption = "警 告";
  box.icon = MsgIcon::kWarning;
  box.buttons = MsgButtons::kOk;
  box.text =
      "发送数据校验和错误!\n请尝试重新编程\n注意: 烧写时请不要切换当前窗口\n"
      "或启动其它需要实时处理的软件,\n以免影响下载稳定性";
  Dialogs().ShowMessage(box);
  StatusLine().SetStatus(kChecksumFailedText);
  return Outcome::kFailed;
}

}  // namespace zvp
