// The window surface on the real main window. Every method may be called
// from any thread: on the UI thread it works directly, from the operation
// worker or the reset poll it is carried to the UI thread with SendMessage,
// so the caller waits until the UI thread has done it (a status text has been
// taken when SetStatus returns). The UI thread never waits for another
// thread here. Once the window is gone, calls do nothing and reads answer
// empty (a box answers Cancel or No).
#pragma once

#include <atomic>
#include <functional>
#include <map>

#include "core/window_surface.h"
#include "ui/window_boxes.h"
#include "windows/win32.h"

namespace zvp::win {

class Win32Surface final : public WindowSurface {
 public:
  explicit Win32Surface(HINSTANCE instance) : instance_(instance) {}

  // Binds the surface to the main window and its controls (id -> window),
  // on the UI thread, before the core uses it; Detach when the window goes.
  void Attach(HWND main, std::map<int, HWND> controls);
  void Detach();

  // For the main window's procedure: runs a call carried over by kMsgInvoke.
  static void RunInvoke(LPARAM call);

  std::string GetText(int id, size_t max_chars) override;
  void SetText(int id, const std::string& text) override;
  bool IsChecked(int id) override;
  void SetChecked(int id, bool checked) override;
  bool IsEnabled(int id) override;
  void SetEnabled(int id, bool enabled) override;
  // True when the control and every window between it and the main window
  // are shown (the main window itself may still be hidden, at start-up).
  bool IsVisible(int id) override;
  void SetVisible(int id, bool visible) override;
  void SetStatus(const std::string& text) override;
  std::string Status() override;
  void RepaintStatus() override;
  MsgAnswer ShowMessage(const MessageBox& box) override;
  std::optional<std::string> ChooseOpenFile(const std::string& filter) override;
  std::optional<std::string> ChooseSaveFile(const std::string& filter) override;
  void ArmTimer(int id, uint32_t period_ms) override;
  // The tone comes from the calling thread: it touches no window, and a
  // worker's beep must not hold up the UI thread.
  void Beep(uint32_t hz, uint32_t ms) override;
  void UpdateCursor() override;
  void LockViewControls(bool locked) override;
  void SetWindowRegion(int width, int height) override;
  void RequestClose() override;
  void RunOnUiThread(const std::function<void()>& task) override { OnUi(task); }
  void PrepareCodeViewList() override;
  void SetListCell(int row, int column, const std::string& text) override;
  std::string ListCell(int row, int column) override;
  bool RunCounterDialog(CounterDialog* dialog) override;
  std::optional<std::string> RunEditDialog(const std::string& address_text,
                                           const std::string& value) override;
  std::optional<std::string> RunPortDialog(const std::string& current) override;
  OperationBoxes& BoxesSeam() override { return boxes_; }

 private:
  // Runs `call` on the UI thread and returns when it is done; false when
  // there is no window to run it on (the call did not run).
  bool OnUi(const std::function<void()>& call);
  HWND ControlWindow(int id) const;
  HWND Main() const { return main_.load(); }

  HINSTANCE instance_;
  std::atomic<HWND> main_{nullptr};
  std::atomic<DWORD> ui_thread_{0};
  // Filled by Attach before any other thread exists, read-only afterwards.
  std::map<int, HWND> controls_;
  WindowBoxes boxes_{*this};
};

}  // namespace zvp::win
