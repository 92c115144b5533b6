#include "progmem/memory_checksum.h"

#include <cstdint>
#include <string>

#include "link/address_range.h"
#include "image/code_buffer.h"
#include "image/number_text.h"
#include "core/app_state.h"
#include "core/protocol.h"
#include "core/operation_code.h"
#include "link/operation_header.h"
#include "link/operation_header.h"
#include "link/serial_link.h"
#include "core/status_display.h"
#include "core/user_dialogs.h"
#include "core/operation_boxes.h"

namespace zvp {

const char kMemorySumResultText[] = "编程内存检查和 =  ";
const char kMemorySumMismatchText[] =
    "编程内存检查和错误!\n请尝试重新下载代码\n注意: 下载代码时请不要切换当前窗口\n"
    "或启动其它需要实时处理的软件,\n以免影响下载稳定性";
const char kMemorySumMismatchCaption[] = "警 告";

namespace {

// The acknowledgement that follows the header: its content is not looked at.
constexpr uint32_t kAckTries = 50;

}  // namespace

MemorySum ProgrammerMemoryChecksum() {
  AppState& app = App();
  StatusLine().ShowProgress({ProgressStage::kMemoryChecksum});
  app.link_fault = 0;
  const uint32_t start = app.range_start;
  const uint32_t end = app.range_end;
  uint16_t programmer_sum = 0;
  const bool debug = DebugMode();

  if (start > end) {
    app.link_fault = 1;
    StatusLine().SetStatus(kRangeRejectedText);
    return MemorySum::kNotObtained;
  }
  if (!debug) {
    OperationHeader& h = app.header;
    h.SetRange(start, end);
    h.SetCommand(cmd::kMemoryChecksum);
    // BeginLink's text stands; the box keeps its sum.
    if (!BeginLink()) return MemorySum::kNotObtained;
    uint8_t ack[128];
    AwaitReply(ack, sizeof ack, 2, kAckTries);
    // The programmer reports how far it has summed until it reaches the end
    // of the range. A one-address range has nothing to follow: the
    // programmer sends the sum straight after the acknowledgement, and it is
    // taken as the sum whatever the address.
    if (start < end) {
      for (;;) {
        const uint32_t reached = QueryHexTriple();
        if (app.link_fault) break;
        StatusLine().ShowProgress({ProgressStage::kMemoryChecksum, reached});
        if (reached >= end) break;
      }
    }
    programmer_sum = QueryWord();
  }

  std::string result = kMemorySumResultText;
  if (app.link_fault) {
    StatusLine().SetStatus(result + "XXXX");
    return MemorySum::kNotObtained;
  }
  const uint16_t buffer_sum = BufferChecksum(App().code_buffer, start, end);
  if (debug) programmer_sum = buffer_sum;
  if (programmer_sum != buffer_sum && RestartedInsteadOfReplying()) {
    // No sum came: the programmer restarted, its memory is gone, and the
    // reaction to the reset says so.
    app.link_fault = 1;
    StatusLine().SetStatus(result + "XXXX");
    return MemorySum::kNotObtained;
  }
  if (programmer_sum != buffer_sum) {
    MessageBox box;
    box.text = kMemorySumMismatchText;
    box.caption = kMemorySumMismatchCaption;
    box.icon = MsgIcon::kWarning;
    Dialogs().ShowMessage(box);
    app.link_fault = 1;
  }
  // The box and the status line show the programmer's sum, not the buffer's.
  const std::string digits = FormatNumber(programmer_sum, 16, 4);
  Boxes().ShowChecksum(digits);
  app.checksum_start = start;
  app.checksum_end = end;
  StatusLine().SetStatus(result + digits);
  return programmer_sum == buffer_sum ? MemorySum::kMatches : MemorySum::kDiffers;
}

}  // namespace zvp
