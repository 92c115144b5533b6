#include "chipops/read_block.h"

#include "core/app_state.h"
#include "core/protocol.h"
#include "link/operation_header.h"
#include "link/reset_scan.h"
#include "link/serial_link.h"
#include "core/status_display.h"
#include "core/user_dialogs.h"

namespace zvp {

namespace {

constexpr char kReadErrorText[] = "读取数据错误";

void Fail() {
  AppState& app = App();
  app.link_fault = 1;
  StatusLine().SetStatus(kReadErrorText);
}

}  // namespace

void ReadBlock(uint8_t command, uint8_t* dest, uint32_t size, uint32_t first, uint32_t last) {
  AppState& app = App();
  // An inverted range would wrap the count to a huge value (or to zero, which
  // would pass as an empty block read successfully); nothing is sent for it.
  if (last < first) {
    Fail();
    return;
  }
  // 64 bits: first = 0 and last = 0xFFFFFFFF must not wrap to zero.
  const uint64_t n = static_cast<uint64_t>(last) - first + 1;
  if (n > size) {
    MessageBox box;
    box.text = "指定的缓冲区不足以容纳要读取的数据,操作将中止!";
    box.icon = MsgIcon::kWarning;
    Dialogs().ShowMessage(box);
    // Every caller tests link_fault after the read; left at 0 it would take
    // the untouched destination for data that arrived.
    app.link_fault = 1;
    return;
  }
  const uint32_t count = static_cast<uint32_t>(n);

  app.header.SetRange(first, last);
  app.link_fault = 0;
  app.header.SetCommand(command);
  if (!BeginLink()) return;  // its own text stays on the status line

  uint8_t ack[16];
  AwaitReply(ack, sizeof ack, 2, 50);
  if (IsVoltageError(ack)) {
    VoltageFault(ack);
    return;
  }
  if (app.link_fault) {
    Fail();
    return;
  }

  // The block is chip data, which may hold the letters of the reset
  // message: they were a reset only if the block then fails.
  const bool heard_before = app.reset_heard;
  uint32_t got = 0;
  ReceiveBlock(dest, count, &got);
  if (app.link_fault) {
    Fail();
    return;
  }
  uint32_t sum = 0;
  for (uint32_t i = 0; i < count; ++i) sum += dest[i];
  const uint16_t reported = QueryWord();
  if (app.link_fault || reported != static_cast<uint16_t>(sum)) {
    Fail();
    return;
  }
  if (!heard_before) ForgetListenedBytes();
}

}  // namespace zvp
