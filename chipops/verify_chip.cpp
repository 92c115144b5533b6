#include "chipops/verify_chip.h"

#include <algorithm>
#include <string>

#include "chipops/chip_command.h"
#include "chipops/read_block.h"
#include "image/code_buffer.h"
#include "image/number_text.h"
#include "core/app_state.h"
#include "core/protocol.h"
#include "link/operation_header.h"
#include "link/serial_link.h"
#include "core/status_display.h"

namespace zvp {

namespace {

constexpr uint32_t kBlockSize = 256;

constexpr char kChecksumResultText[] = "芯片检查和 =  ";

}  // namespace

void ChipChecksum() {
  AppState& app = App();
  StatusLine().ShowProgress({ProgressStage::kChipChecksum});
  if (!StartChipCommand(cmd::kChipChecksum, false, kChecksumResultText + std::string("XXXX")))
    return;
  const uint32_t end = app.range_end;
  const uint32_t tracker = FollowProgress(ProgressStage::kChipChecksum, end, 0);
  if (tracker < end) app.link_fault = 1;
  // Read even after a failed scan; the text then shows "XXXX" whatever comes.
  const uint16_t sum = QueryWord();
  StatusLine().SetStatus(std::string(kChecksumResultText) +
                    (app.link_fault ? "XXXX" : FormatNumber(sum, 16, 4)));
  if (!app.auto_running) return;
  // The verify step of the debug-mode sequence: the chip must hold the
  // buffer's code over the range.
  if (app.link_fault || sum != BufferChecksum(App().code_buffer, app.range_start, end)) {
    app.link_fault = 1;
    StatusLine().SetStatus("编程失败,校验芯片错误!");
  } else {
    StatusLine().SetStatus("校验芯片成功!");
  }
}

void VerifyChip() {
  AppState& app = App();
  StatusLine().ShowProgress({ProgressStage::kVerify});
  if (!StartChipCommand(cmd::kVerifyChip, false, "校验芯片失败! [编程器无应答]")) return;
  // 10 ms a try: about 300 ms of silence ends the scan.
  SetLinkTimeouts(kPollTimeouts);
  const uint32_t end = app.range_end;
  // A good verify ends with a report beyond the end; a bad one with the
  // first differing address and silence.
  const uint32_t tracker = FollowProgress(ProgressStage::kVerify, end + 1, 0);
  if (tracker > end) {
    StatusLine().SetStatus("校验芯片成功");
    return;
  }
  app.link_fault = 1;
  StatusLine().SetStatus("校验芯片失败! 在地址: " + FormatNumber(tracker, 16, 5));
}

void VerifyChipDirect() {
  AppState& app = App();
  app.header.Fill(0);
  BuildOperationHeader(App().choices);
  app.header.SetCommand(cmd::kReadChip);
  app.link_fault = 0;
  StatusLine().ShowProgress({ProgressStage::kVerifyDirect});
  DelayMs(200);

  const uint32_t start = app.range_start;
  // Never past the code buffer, whatever the range fields hold.
  const uint32_t end = std::min<uint32_t>(app.range_end, kCodeBufferSize - 1);
  uint8_t block[512];
  bool failed = false;
  uint32_t failure = start;
  for (uint32_t address = start; address <= end;) {
    StatusLine().ShowProgress({ProgressStage::kVerifyDirect, address});
    const uint32_t last = std::min(address + (kBlockSize - 1), end);
    ReadBlock(cmd::kReadChip, block, sizeof block, address, last);
    if (app.link_fault) {
      failed = true;
      failure = address;
      break;
    }
    const auto first = app.code_buffer.begin() + address;
    const auto differ = std::mismatch(block, block + (last - address + 1), first);
    if (differ.first != block + (last - address + 1)) {
      app.link_fault = 1;
      failed = true;
      failure = address + static_cast<uint32_t>(differ.first - block);
      break;
    }
    address = last + 1;
  }
  if (!failed) {
    StatusLine().SetStatus("校验芯片成功");
    return;
  }
  StatusLine().SetStatus("校验芯片失败,在地址: " + FormatNumber(failure, 16, 4));
}

}  // namespace zvp
