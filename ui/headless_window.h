// The main window without a screen: every control of the control table held
// in memory, with the same rules for check marks, radio groups, visibility
// and typed input as the real window, and user actions that end in
// DispatchCommand exactly as the custom controls do. The command line and
// the tests run the whole program against it.
//
// Thread-safe: the operation worker and the reset poll write the status line
// and read the boxes while the main thread clicks. Observers are called
// without the lock held, so they may call back into the window (and a
// message-box observer may block).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ui/control_table.h"
#include "ui/window_boxes.h"
#include "core/window_surface.h"

namespace zvp {

class HeadlessWindow final : public WindowSurface {
 public:
  // What the owner wants to hear about. Every member may be left empty.
  struct Observers {
    std::function<void(const std::string& text)> status_changed;
    // Hears progress shown on the status line, with the words shown, in
    // place of status_changed; without it status_changed hears the words.
    std::function<void(const Progress& progress, const std::string& text)> progress_shown;
    // Answers a message box; without it the first button is the answer.
    std::function<MsgAnswer(const MessageBox& box)> message_box;
    // Pick a file; without them both dialogs are cancelled (nullopt).
    std::function<std::optional<std::string>(const std::string& filter)> open_file;
    std::function<std::optional<std::string>(const std::string& filter)> save_file;
    std::function<void(int id, uint32_t period_ms)> timer_armed;
    std::function<void(uint32_t hz, uint32_t ms)> beeped;
    std::function<void(bool wait_cursor)> cursor_changed;
    std::function<void(bool locked)> view_lock_changed;
    std::function<void(int width, int height)> region_changed;
    std::function<void()> close_requested;
    // The modal dialogs; without them both are cancelled.
    std::function<bool(CounterDialog* dialog)> counter_dialog;
    std::function<std::optional<std::string>(const std::string& address_text,
                                             const std::string& value)>
        edit_dialog;
    // The dialog of the other ports; without it the dialog is cancelled.
    std::function<std::optional<std::string>(const std::string& current)> port_dialog;
  };

  struct BeepRecord {
    uint32_t hz;
    uint32_t ms;
  };

  struct Region {
    int width = 0;
    int height = 0;
  };

  // Every control in its created state (see ResetToCreatedState).
  HeadlessWindow();

  void SetObservers(Observers observers);

  // WindowSurface. Unknown ids are harmless: reads give "" or false, writes
  // are dropped. Writing the text of the status line (157) is a status
  // change whichever call does it.
  std::string GetText(int id, size_t max_chars) override;
  void SetText(int id, const std::string& text) override;
  bool IsChecked(int id) override;
  void SetChecked(int id, bool checked) override;
  bool IsEnabled(int id) override;
  void SetEnabled(int id, bool enabled) override;
  // True only when the control and its group box are both visible.
  bool IsVisible(int id) override;
  void SetVisible(int id, bool visible) override;
  void SetStatus(const std::string& text) override;
  std::string Status() override;
  void ShowProgress(const Progress& progress) override;
  void RepaintStatus() override;
  MsgAnswer ShowMessage(const MessageBox& box) override;
  std::optional<std::string> ChooseOpenFile(const std::string& filter) override;
  std::optional<std::string> ChooseSaveFile(const std::string& filter) override;
  void ArmTimer(int id, uint32_t period_ms) override;
  void Beep(uint32_t hz, uint32_t ms) override;
  void UpdateCursor() override;
  void LockViewControls(bool locked) override;
  void SetWindowRegion(int width, int height) override;
  void RequestClose() override;
  // No UI thread of its own: the task runs on the calling thread.
  void RunOnUiThread(const std::function<void()>& task) override { task(); }
  void PrepareCodeViewList() override;
  void SetListCell(int row, int column, const std::string& text) override;
  std::string ListCell(int row, int column) override;
  bool RunCounterDialog(CounterDialog* dialog) override;
  std::optional<std::string> RunEditDialog(const std::string& address_text,
                                           const std::string& value) override;
  std::optional<std::string> RunPortDialog(const std::string& current) override;
  OperationBoxes& BoxesSeam() override { return boxes_; }

  // User actions. Each returns true when it reached DispatchCommand.
  //
  // A mouse click: ignored on a disabled or invisible control and on a
  // locked code-view control; a check box toggles and a radio button takes
  // the tick from its siblings before the command goes out. Clicks on group
  // boxes, labels, edits and the list send no command.
  bool Click(int id);
  // Enter while the control has the focus: a button sends its command with
  // its check state unchanged; Enter in the display-address box (162) acts
  // as its "设 置" button (163). The lock does not stop the keyboard.
  bool PressEnter(int id);
  // Typing into an edit box at the end of its text, through the same filter
  // as the real box: the file box (147) takes everything, other boxes only
  // hex digits; upper-case boxes convert, digit boxes take digits only,
  // read-only, disabled and invisible boxes take nothing. A backspace
  // ('\b') removes the last character.
  void TypeText(int id, const std::string& text);

  // Every control back to the state right after creation: captions and start
  // texts, nothing checked, enabled unless created disabled, visible unless
  // created hidden; the view unlocked, the arrow cursor, and the records
  // below cleared. The start-up code applies the rest of the start-up state.
  void ResetToCreatedState();

  // Control facts (nullopt for unknown ids).
  std::optional<ControlKind> KindOf(int id) const;
  std::optional<int> ParentOf(int id) const;

  // Records of what the core asked of the window.
  std::map<int, uint32_t> ArmedTimers() const;  // id -> period of the last arming
  std::vector<BeepRecord> Beeps() const;
  std::vector<MessageBox> Messages() const;  // every box shown, oldest first
  Region WindowRegion() const;               // 0 x 0 until first clipped
  bool ViewLocked() const;
  bool WaitCursor() const;  // as of the last UpdateCursor
  int CloseRequests() const;
  int StatusRepaints() const;
  bool ListPrepared() const;

 private:
  struct Control {
    const ControlSpec* entry;
    std::string text;
    bool checked;
    bool enabled;
    bool visible;
  };

  Control* Find(int id);
  const Control* Find(int id) const;
  bool ShownLocked(const Control& c) const;
  bool LockedViewControl(int id) const;
  void ResetControlsLocked();
  void ClearRecordsLocked();

  mutable std::mutex mu_;
  std::vector<Control> controls_;  // creation order
  std::map<int, size_t> index_;    // id -> position in controls_
  Observers observers_;

  std::map<int, uint32_t> timers_;
  std::vector<BeepRecord> beeps_;
  std::vector<MessageBox> messages_;
  Region region_;
  bool list_prepared_ = false;
  std::map<std::pair<int, int>, std::string> cells_;  // (row, column) -> text
  bool view_locked_ = false;
  bool wait_cursor_ = false;
  int close_requests_ = 0;
  int status_repaints_ = 0;
  WindowBoxes boxes_{*this};
};

}  // namespace zvp
