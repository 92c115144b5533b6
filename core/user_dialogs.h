// What the program asks of the user and tells the user outside the status
// line: message boxes and questions, the file dialogs, the two modal
// dialogs, and the buzzer. Each call waits for the user's answer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zvp {

enum class MsgIcon { kNone, kWarning, kQuestion, kInformation };
enum class MsgButtons { kOk, kYesNo, kOkCancel };
enum class MsgAnswer { kOk, kCancel, kYes, kNo };

struct MessageBox {
  std::string text;
  std::string caption;
  MsgButtons buttons = MsgButtons::kOk;
  MsgIcon icon = MsgIcon::kNone;
  bool default_is_second = false;  // Cancel or No is the default button
};

// What the counter-settings dialog shows and, after OK, what the user left
// in it: the two start values as typed and the six failure-count choices.
struct CounterDialog {
  std::string pass_text;  // at most 15 characters
  std::string fail_text;
  uint32_t flags = 0;     // bits 0..5 as in count_flags
};

class UserDialogs {
 public:
  virtual ~UserDialogs() = default;
  // A modal box owned by the main window.
  virtual MsgAnswer ShowMessage(const MessageBox& box) = 0;
  // The common file dialogs; the filter is in the "name|pattern|...||" form.
  virtual std::optional<std::string> ChooseOpenFile(const std::string& filter) = 0;
  virtual std::optional<std::string> ChooseSaveFile(const std::string& filter) = 0;
  // The counter settings (true on OK, *dialog then holds what the user left
  // in it), and the code edit dialog for the byte at `address_text` (the new
  // value as typed on OK, nullopt on cancel).
  virtual bool RunCounterDialog(CounterDialog* dialog) = 0;
  virtual std::optional<std::string> RunEditDialog(const std::string& address_text,
                                                   const std::string& value) = 0;
  // The dialog of the other serial ports: the ports present, and a box for
  // a typed name, which it checks. The port chosen ("COM7") on OK, nullopt
  // on cancel. `current` names the port in use ("" when none).
  virtual std::optional<std::string> RunPortDialog(const std::string& current) = 0;
  // The simple tone output.
  virtual void Beep(uint32_t hz, uint32_t ms) = 0;
};

}  // namespace zvp
