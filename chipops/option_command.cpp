#include "chipops/option_command.h"

#include "core/app_state.h"
#include "core/protocol.h"
#include "link/operation_header.h"
#include "link/serial_link.h"
#include "core/status_display.h"

namespace zvp {

namespace {

// The texts of one command: while it runs, when the programmer says "NO",
// and when it says "OK".
struct OptionTexts {
  uint8_t command;
  const char* in_progress;
  const char* failed;
  const char* done;
};

constexpr OptionTexts kOptionTexts[] = {
    {cmd::kEraseMtp, "正在擦除MTP,请稍候......", "擦除芯片失败!", "芯片已擦除!"},
    {cmd::kEnableSmart, "使能芯片SMART系统,请稍候....", "使能芯片SMART系统失败!", "芯片SMART系统已使能!"},
    {cmd::kReadProtect, "正在使能芯片读保护,请稍候......", "使能芯片读保护失败!", "芯片读保护已使能!"},
    {cmd::kLdcProtect, "正在使能芯片LDC保护,请稍候......", "使能芯片LDC保护失败!", "芯片LDC保护已使能!"},
    {cmd::kHardwareWriteProtect, "正在使能硬件写保护,请稍候......", "使能芯片硬件写保护失败!", "芯片硬件写保护成功!"},
};

const OptionTexts* FindOptionTexts(uint8_t command) {
  for (const OptionTexts& t : kOptionTexts) {
    if (t.command == command) return &t;
  }
  return nullptr;
}

}  // namespace

Outcome OptionCommand(uint8_t command) {
  AppState& app = App();
  const OptionTexts* texts = FindOptionTexts(command);
  if (texts == nullptr) {
    // Not a command of this exchange: nothing is sent.
    app.link_fault = 1;
    return Outcome::kFailed;
  }
  app.link_fault = 0;
  StatusLine().SetStatus(texts->in_progress);
  // The engine already put the code into byte 20; writing it here keeps a
  // direct call honest too.
  app.header.SetCommand(command);
  if (!BeginLink()) return Outcome::kFailed;

  // No start acknowledgement here: the one reply is the verdict. 100 tries
  // under the 9 ms set give the chip about 1.8 s.
  uint8_t reply[32];
  AwaitReply(reply, sizeof reply, 2, 100);
  if (IsReply(reply, kReplyOk)) {
    app.link_fault = 0;
    StatusLine().SetStatus(texts->done);
    return Outcome::kDone;
  }
  app.link_fault = 1;
  if (IsVoltageError(reply)) {
    VoltageFault(reply);
    return Outcome::kFailed;
  }
  // "NO", silence or anything else: the command was not done, and the
  // in-progress text must not stay as if it were still running.
  StatusLine().SetStatus(texts->failed);
  return Outcome::kFailed;
}

}  // namespace zvp
