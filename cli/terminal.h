// What the command line prints: the window's status texts on standard
// output as they change (a progress line redrawn in place on a terminal),
// its message boxes on standard error with their answers, and the state.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "core/progress.h"
#include "core/user_dialogs.h"
#include "ui/headless_window.h"

namespace zvp::cli {

// What the window shows, printed: status texts on standard output as they
// change, message boxes on standard error with their answers.
class Printer {
 public:
  Printer(bool terminal, std::optional<bool> answer, bool ask)
      : terminal_(terminal), answer_(answer), ask_(ask) {}

  // `progress` is what the text shows when it is an operation's progress.
  void Status(const std::string& text, const Progress* progress = nullptr);
  MsgAnswer Box(const MessageBox& box);
  // A line of the command line's own on standard error, after the progress
  // line it may interrupt.
  void Notice(const std::string& text);
  void Finish();

 private:
  // A stage's progress at an address is a line that the next one replaces.
  // The direct verify's first words, "请稍候,校验芯片,在地址: ......", hold the
  // address's place and are replaced too; every other stage begins on a
  // line of its own.
  static bool IsProgressLine(const Progress* p) {
    return p != nullptr && (p->address || p->stage == ProgressStage::kVerifyDirect);
  }

  std::mutex mu_;
  bool terminal_;
  std::optional<bool> answer_;
  bool ask_;
  std::string last_;
  std::optional<ProgressStage> last_stage_;  // when last_ is a progress line
  bool open_line_ = false;
};

// The window's choices, contents and state, a line each, on standard output.
void PrintState(HeadlessWindow& w, const std::string& port_name);

}  // namespace zvp::cli
