// A window surface for console test programs: status texts and message boxes
// go to stdout as UTF-8 lines, every box is answered with its first button,
// control state lives in maps. The core calls it from worker threads, so
// every member is guarded by one mutex; the checks read through the
// accessors below, which copy under the same lock.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/window_surface.h"
#include "ui/window_boxes.h"

namespace zvp::test {

class ConsoleSurface final : public WindowSurface {
 public:
  std::string GetText(int id, size_t max_chars) override {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = texts_.find(id);
    if (it == texts_.end()) return std::string();
    return it->second.substr(0, max_chars);
  }
  void SetText(int id, const std::string& text) override {
    std::lock_guard<std::mutex> lock(mu_);
    texts_[id] = text;
  }
  bool IsChecked(int id) override {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = checked_.find(id);
    return it != checked_.end() && it->second;
  }
  void SetChecked(int id, bool checked) override {
    std::lock_guard<std::mutex> lock(mu_);
    checked_[id] = checked;
  }
  bool IsEnabled(int id) override {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = enabled_.find(id);
    return it == enabled_.end() || it->second;
  }
  void SetEnabled(int id, bool enabled) override {
    std::lock_guard<std::mutex> lock(mu_);
    enabled_[id] = enabled;
  }
  bool IsVisible(int id) override {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = visible_.find(id);
    return it == visible_.end() || it->second;
  }
  void SetVisible(int id, bool visible) override {
    std::lock_guard<std::mutex> lock(mu_);
    visible_[id] = visible;
  }

  void SetStatus(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mu_);
    status_ = text;
    ++status_writes_;
    PrintLine("[status] " + text);
  }
  std::string Status() override {
    std::lock_guard<std::mutex> lock(mu_);
    return status_;
  }
  void RepaintStatus() override {}

  MsgAnswer ShowMessage(const MessageBox& box) override {
    std::lock_guard<std::mutex> lock(mu_);
    boxes_.push_back(box);
    PrintLine("[box] " + box.caption + ": " + box.text);
    switch (box.buttons) {
      case MsgButtons::kYesNo:
        return MsgAnswer::kYes;
      case MsgButtons::kOk:
      case MsgButtons::kOkCancel:
        break;
    }
    return MsgAnswer::kOk;
  }

  // No dialogs on a console: every choice is cancelled.
  std::optional<std::string> ChooseOpenFile(const std::string&) override { return std::nullopt; }
  std::optional<std::string> ChooseSaveFile(const std::string&) override { return std::nullopt; }

  void ArmTimer(int, uint32_t) override {}
  void Beep(uint32_t hz, uint32_t ms) override {
    std::lock_guard<std::mutex> lock(mu_);
    PrintLine("[beep] " + std::to_string(hz) + " Hz " + std::to_string(ms) + " ms");
  }
  void UpdateCursor() override {}
  void LockViewControls(bool) override {}
  void SetWindowRegion(int, int) override {}
  void RunOnUiThread(const std::function<void()>& task) override { task(); }
  void RequestClose() override {
    std::lock_guard<std::mutex> lock(mu_);
    ++close_requests_;
    PrintLine("[close]");
  }
  void PrepareCodeViewList() override {}
  void SetListCell(int, int, const std::string&) override {}
  std::string ListCell(int, int) override { return {}; }
  bool RunCounterDialog(CounterDialog*) override { return false; }
  std::optional<std::string> RunEditDialog(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> RunPortDialog(const std::string&) override { return std::nullopt; }
  OperationBoxes& BoxesSeam() override { return operation_boxes_; }

  // Copies for the checks.
  std::vector<MessageBox> Boxes() {
    std::lock_guard<std::mutex> lock(mu_);
    return boxes_;
  }
  int StatusWrites() {
    std::lock_guard<std::mutex> lock(mu_);
    return status_writes_;
  }
  int CloseRequests() {
    std::lock_guard<std::mutex> lock(mu_);
    return close_requests_;
  }
  // Forgets the boxes and status writes seen so far, so that each check
  // looks only at what its own step produced.
  void ClearRecord() {
    std::lock_guard<std::mutex> lock(mu_);
    boxes_.clear();
    status_writes_ = 0;
  }

 private:
  // Texts are UTF-8 already; written as bytes, whole lines at once.
  static void PrintLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }

  std::mutex mu_;
  std::map<int, std::string> texts_;
  std::map<int, bool> checked_;
  std::map<int, bool> enabled_;
  std::map<int, bool> visible_;
  std::string status_;
  int status_writes_ = 0;
  int close_requests_ = 0;
  WindowBoxes operation_boxes_{*this};
  std::vector<MessageBox> boxes_;
};

}  // namespace zvp::test
