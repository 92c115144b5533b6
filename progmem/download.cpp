#include "progmem/download.h"

#include <algorithm>
#include <string>

#include "image/code_buffer.h"
#include "progmem/code_file.h"
#include "image/number_text.h"
#include "core/app_state.h"
#include "core/protocol.h"
#include "link/connection.h"
#include "core/operation_code.h"
#include "link/operation_header.h"
#include "link/operation_header.h"
#include "link/serial_link.h"
#include "link/wire_trace.h"
#include "progmem/memory_checksum.h"
#include "core/status_display.h"
#include "core/operation_boxes.h"

namespace zvp {

const char kInitMemoryBusyText[] =
    "正在初始化编程存储器,该过程约需几秒到十几秒时间,请耐心等候......";
const char kInitMemoryDoneText[] = "初始化存储器成功!";
const char kInitMemoryFailedText[] = "初始化编程存储器失败!请尝试重新初始化!";
const char kDownloadInitFailedText[] = "初始化编程存储器失败!请尝试重新下载初始化!";
const char kDownloadNoAnswerText[] = "编程代码下载失败![编程器无回应,可能正忙,请稍候再试]";
const char kDownloadAbortedText[] = "下载过程已被用户中断!";
const char kDownloadFailedText[] = "代码下载过程出错!请尝试重新下载该代码";

namespace {

// The data go out in writes of exactly this many bytes; the programmer takes
// them without acknowledging.
constexpr uint32_t kGroup = 3;
// A progress text once this many bytes went out since the last one: after 43
// writes of 3.
constexpr uint32_t kProgressBytes = 128;

// Tries of the wait for "ROMOK" (18 ms each with the reply time-outs): the
// download allows the slow erase of a full memory more time than F7 does.
constexpr uint32_t kInitAloneTries = 600;
constexpr uint32_t kDownloadInitTries = 1500;

// The start- and end-address boxes show the range that now stands for the
// programmer memory.
void ShowRangeBoxes() {
  Boxes().ShowAddress(RangeBox::kStart, "0000");
  Boxes().ShowAddress(RangeBox::kEnd, FormatNumber(App().range_end, 16, 4));
}

}  // namespace

void PrepareMemoryHeader() {
  AppState& app = App();
  OperationHeader& h = app.header;
  h.Fill(0);
  BuildOperationHeader(App().choices);
  const uint16_t sum = BufferChecksum(App().code_buffer, 0, app.range_end);
  app.range_start = 0;
  h.SetRange(0, 0);
  h.SetChecksum(sum);
  h.SetCommand(cmd::kInitMemory);
}

void InitProgrammerMemory() {
  AppState& app = App();
  app.memory_edited = 0;
  if (DebugMode()) {
    app.memory_loaded = 1;
    app.checksum_start = app.range_start.load();
    app.checksum_end = app.range_end.load();
    return;
  }
  PrepareMemoryHeader();
  if (!BeginLink()) return;
  // The programmer erases its memory now: what it held is gone, and a chip
  // must not be programmed from it until the next download.
  ForgetProgrammerMemory();
  StatusLine().SetStatus(kInitMemoryBusyText);
  uint8_t reply[8];
  AwaitReply(reply, sizeof reply, 5, kInitAloneTries);
  if (IsReply(reply, kReplyRomOk)) {
    app.link_fault = 0;
    StatusLine().SetStatus(kInitMemoryDoneText);
  } else {
    app.link_fault = 1;
    StatusLine().SetStatus(kInitMemoryFailedText);
  }
}

Outcome DownloadCode() {
  AppState& app = App();
  app.link_fault = 0;
  const Outcome load = LoadCodeFile();
  if (load != Outcome::kDone) {
    // In debug mode the buffer stands for the programmer memory, and a
    // failed load may have changed it.
    if (DebugMode()) ForgetProgrammerMemory();
    return load;
  }
  app.memory_edited = 0;

  if (DebugMode()) {
    app.checksum_start = app.range_start.load();
    app.checksum_end = app.range_end.load();
    app.memory_loaded = 1;
    ShowRangeBoxes();
    ProgrammerMemoryChecksum();  // shows the buffer's own sum
    return Outcome::kDone;
  }

  // From the first exchange on the programmer memory is being rewritten:
  // until the checksum below matches it holds no code a chip may get.
  ForgetProgrammerMemory();
  PrepareMemoryHeader();
  if (!BeginLink()) return Outcome::kFailed;
  StatusLine().SetStatus(kInitMemoryBusyText);
  uint8_t reply[16];
  AwaitReply(reply, sizeof reply, 5, kDownloadInitTries);
  if (!IsReply(reply, kReplyRomOk)) {
    app.link_fault = 1;
    StatusLine().SetStatus(kDownloadInitFailedText);
    return Outcome::kFailed;
  }
  DelayMs(200);

  // Only the used part goes out: the 0xFF bytes before the first and after
  // the last used byte are left out, those between them are sent. An all-0xFF
  // buffer gives first = range_end + 1 > last = 0, and no data.
  OperationHeader& h = app.header;
  h.SetCommand(cmd::kDownload);
  const uint32_t first = FirstUsedAddress(App().code_buffer, app.range_start, app.range_end);
  const uint32_t last = LastUsedAddress(App().code_buffer, app.range_start, app.range_end);
  h.SetRange(first, last);
  h.SetChecksum(BufferChecksum(App().code_buffer, first, last));
  if (!BeginLink()) {
    app.link_fault = 1;
    StatusLine().SetStatus(kDownloadNoAnswerText);
    return Outcome::kFailed;
  }
  DelayMs(20);

  // A stop that came after the last byte went out cut nothing: the
  // download goes on to its checksum.
  if (!SendCodeRange(first, last)) {
    // Stopped by the user (link_fault 0: the interruption text stands) or
    // a failed write.
    if (!app.link_fault) return Outcome::kInterrupted;
    StatusLine().SetStatus(kDownloadFailedText);
    return Outcome::kFailed;
  }
  DelayMs(500);

  ShowRangeBoxes();
  const MemorySum sum = ProgrammerMemoryChecksum();
  // A sum that differs has its warning box and stays shown; a sum that
  // never came would leave only "XXXX", which does not say the download
  // failed.
  if (sum == MemorySum::kNotObtained) StatusLine().SetStatus(kDownloadFailedText);
  if (sum == MemorySum::kMatches) app.memory_loaded = 1;
  return sum == MemorySum::kMatches ? Outcome::kDone : Outcome::kFailed;
}

bool SendCodeRange(uint32_t first, uint32_t last) {
  AppState& app = App();
  app.link_fault = 0;
  app.user_abort = 0;
  if (first > last) return true;
  // Nothing lies past the buffer: a range reaching beyond it is cut there,
  // and the filler bytes of the last group beyond it are sent as erased.
  last = std::min(last, kCodeBufferSize - 1);
  // 64 bits, so that the address cannot wrap past a last address near the
  // top of the 32-bit range.
  uint64_t address = first;
  uint32_t count = 0;
  while (address <= last) {
    if (StopAsked()) {
      StatusLine().SetStatus(StopText(kDownloadAbortedText));
      return false;
    }
    if (count >= kProgressBytes) {
      StatusLine().ShowProgress({ProgressStage::kDownload, static_cast<uint32_t>(address)});
      count = 0;
    }
    // The last group may reach past `last`: it carries the buffer bytes that
    // follow (normally 0xFF), so every write is a whole group.
    uint8_t group[kGroup];
    for (uint32_t i = 0; i < kGroup; ++i) {
      const uint64_t a = address + i;
      group[i] = a < kCodeBufferSize ? app.code_buffer[a] : 0xFF;
    }
    uint32_t written = 0;
    SendBlock(group, kGroup, &written);
    if (app.link_fault) break;
    // SendBlock either completes or sets link_fault; a write that moved
    // nothing must still never make this loop spin.
    if (written == 0) {
      app.link_fault = 1;
      break;
    }
    address += written;
    count += written;
  }
  if (!app.link_fault) return true;
  ReportProgrammerLost(Reconnect::kNoTimer);
  return false;
}

}  // namespace zvp
