#include "progmem/offline_master.h"


#include "link/address_range.h"
#include "image/code_buffer.h"
#include "image/number_text.h"
#include "core/app_state.h"
#include "core/protocol.h"
#include "link/connection.h"
#include "core/operation_code.h"
#include "link/operation_header.h"
#include "link/operation_header.h"
#include "link/serial_link.h"
#include "progmem/download.h"
#include "core/status_display.h"
#include "core/user_dialogs.h"
#include "core/operation_boxes.h"

namespace zvp {

Outcome MakeOfflineMaster() {
  AppState& app = App();
  app.link_fault = 0;
  if (!app.programmer_found) {
    ReportProgrammerLost(Reconnect::kArmTimer);
    return Outcome::kFailed;
  }
  if (DebugMode()) {
    MessageBox box;
    box.caption = "提示";
    box.text =
        "调试模式不允许进行本操作!\n请先进入普通模式后重新下载代码文件到缓冲区后再执行本操作!";
    box.icon = MsgIcon::kWarning;
    Dialogs().ShowMessage(box);
    StatusLine().SetStatus(kDeclinedText);
    return Outcome::kDeclined;
  }
  MessageBox ask;
  ask.caption = "操作提示";
  ask.text =
      "制作脱机母片操作之前,\n请确认您已调入了合适的代码文件\n并设置了相关的编程系统选项,\n是否继续?";
  ask.buttons = MsgButtons::kYesNo;
  if (Dialogs().ShowMessage(ask) != MsgAnswer::kYes) {
    StatusLine().SetStatus(kDeclinedText);
    return Outcome::kDeclined;
  }

  const Outcome download = DownloadCode();
  // A download the user's stop cut short leaves the programmer memory half
  // written (link_fault 0, memory not loaded); a master made from it would
  // program chips with part of the code. It stops here like a failed
  // download. A stop that came after the last byte cut nothing.
  if (app.link_fault || !app.memory_loaded) {
    app.link_fault = 1;
    StatusLine().SetStatus("脱机编程母片制作失败!请尝试重新下载代码再进行该项操作");
    return download == Outcome::kDone ? Outcome::kFailed : download;
  }

  // The boxes hold what the download put there, unless the user typed into
  // them meanwhile.
  if (ReadAddressRange() != 0) {
    app.link_fault = 1;
    StatusLine().SetStatus(kRangeRejectedText);
    return Outcome::kFailed;
  }
  const uint16_t sum = BufferChecksum(App().code_buffer, app.range_start, app.range_end);
  Boxes().ShowChecksum(FormatNumber(sum, 16, 4));
  BuildOperationHeader(App().choices);
  app.header.SetRange(app.range_start, app.range_end);
  app.header.SetChecksum(sum);
  StatusLine().SetStatus("正在写入脱机编程设置数据.....");
  DelayMs(400);
  app.header.SetCommand(cmd::kOfflineConfig);
  if (!BeginLink()) return Outcome::kFailed;

  uint8_t reply[256];
  AwaitReply(reply, sizeof reply, 2, 50);
  if (IsReply(reply, kReplyOk)) {
    app.link_fault = 0;
    StatusLine().SetStatus("写入母片编程配置数据成功!");
    StatusLine().SetStatus("脱机编程母片制作成功!您现在即可通过编程器主板的[编程]按钮进行脱机烧写了");
    return Outcome::kDone;
  }
  app.link_fault = 1;
  StatusLine().SetStatus("写入母片编程配置数据失败!请尝试重新下载代码对母片内存进行初始化后再行写入!");
  return Outcome::kFailed;
}

}  // namespace zvp
