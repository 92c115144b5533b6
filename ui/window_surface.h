// The window surface seam: everything the core asks of the main window.
// Texts are UTF-8. The Win32 window implements it with synchronous messages
// to the UI thread (so a worker's status write waits until the UI thread has
// taken it); the headless window model implements it in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zvp {

enum class MsgIcon { kNone, kWarning, kQuestion, kInformation };
enum class MsgButtons { kOk, kYesNo, kOkCancel };
enum class MsgAnswer { kOk, kCancel, kYes, kNo };

// What the counter-settings dialog shows and, after OK, what the user left
// in it: the two start values as typed and the six failure-count choices.
struct CounterDialog {
  std::string pass_text;  // at most 15 characters
  std::string fail_text;
  uint32_t flags = 0;     // bits 0..5 as in count_flags
};

struct MessageBox {
  std::string text;
  std::string caption;
  MsgButtons buttons = MsgButtons::kOk;
  MsgIcon icon = MsgIcon::kNone;
  bool default_is_second = false;  // Cancel or No is the default button
};

class WindowSurface {
 public:
  virtual ~WindowSurface() = default;

  // Control state by id (ui/control_ids.h).
  virtual std::string GetText(int id, size_t max_chars) = 0;
  virtual void SetText(int id, const std::string& text) = 0;
  virtual bool IsChecked(int id) = 0;
  virtual void SetChecked(int id, bool checked) = 0;
  virtual bool IsEnabled(int id) = 0;
  virtual void SetEnabled(int id, bool enabled) = 0;
  virtual bool IsVisible(int id) = 0;
  virtual void SetVisible(int id, bool visible) = 0;

  // The status line is the read-only box 157; replacing its text is how
  // every operation reports. RepaintStatus draws it at once (the UI thread
  // is about to be busy).
  virtual void SetStatus(const std::string& text) = 0;
  virtual std::string Status() = 0;
  virtual void RepaintStatus() = 0;

  // Modal boxes owned by the main window; the caller waits for the answer.
  virtual MsgAnswer ShowMessage(const MessageBox& box) = 0;
  // Common file dialogs; the filter is in the "name|pattern|...||" form.
  virtual std::optional<std::string> ChooseOpenFile(const std::string& filter) = 0;
  virtual std::optional<std::string> ChooseSaveFile(const std::string& filter) = 0;

  virtual void ArmTimer(int id, uint32_t period_ms) = 0;
  virtual void Beep(uint32_t hz, uint32_t ms) = 0;
  // The cursor follows `busy` (wait cursor while busy).
  virtual void UpdateCursor() = 0;
  // Locks (true) or unlocks the three code-view mode controls.
  virtual void LockViewControls(bool locked) = 0;
  // Clips the main window to width x height pixels from its top-left corner
  // (700 x 440 hides the counter group, 700 x 700 shows it).
  virtual void SetWindowRegion(int width, int height) = 0;
  // Asks the main window to close (the quit button).
  virtual void RequestClose() = 0;

  // The code view's list (control 159): columns "ADDR" and "0".."F", grid
  // lines, full-row selection, its blank rows. Called once, on the UI thread.
  virtual void PrepareCodeViewList() = 0;
  // Cell texts: row 0..15, column 0 (the address) or 1..16 (the bytes).
  virtual void SetListCell(int row, int column, const std::string& text) = 0;
  virtual std::string ListCell(int row, int column) = 0;

  // The modal dialogs: the counter settings (true on OK, *dialog then holds
  // what the user left in it), and the code edit dialog for the byte at
  // `address_text` (the new value as typed on OK, nullopt on cancel).
  virtual bool RunCounterDialog(CounterDialog* dialog) = 0;
  virtual std::optional<std::string> RunEditDialog(const std::string& address_text,
                                                   const std::string& value) = 0;
};

}  // namespace zvp
