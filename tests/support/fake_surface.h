// An in-memory window surface for tests: control texts and states by id,
// a record of every status text, message box, beep, timer and cursor change.
// Message boxes are answered from a queue of scripted answers (default: the
// first button).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/window_surface.h"

namespace zvp::test {

class FakeSurface : public WindowSurface {
 public:
  struct Beeped {
    uint32_t hz, ms;
  };

  std::string GetText(int id, size_t max_chars) override {
    std::lock_guard<std::mutex> lock(mu_);
    std::string t = texts_[id];
    return t.size() > max_chars ? t.substr(0, max_chars) : t;
  }
  void SetText(int id, const std::string& text) override {
    std::lock_guard<std::mutex> lock(mu_);
    texts_[id] = text;
  }
  bool IsChecked(int id) override {
    std::lock_guard<std::mutex> lock(mu_);
    return checked_[id];
  }
  void SetChecked(int id, bool c) override {
    std::lock_guard<std::mutex> lock(mu_);
    checked_[id] = c;
  }
  bool IsEnabled(int id) override {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = enabled_.find(id);
    return it == enabled_.end() ? true : it->second;
  }
  void SetEnabled(int id, bool e) override {
    std::lock_guard<std::mutex> lock(mu_);
    enabled_[id] = e;
  }
  bool IsVisible(int id) override {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = visible_.find(id);
    return it == visible_.end() ? true : it->second;
  }
  void SetVisible(int id, bool v) override {
    std::lock_guard<std::mutex> lock(mu_);
    visible_[id] = v;
  }
  void SetStatus(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mu_);
    status_ = text;
    statuses_.push_back(text);
  }
  std::string Status() override {
    std::lock_guard<std::mutex> lock(mu_);
    return status_;
  }
  void RepaintStatus() override {
    std::lock_guard<std::mutex> lock(mu_);
    ++repaints_;
  }
  MsgAnswer ShowMessage(const MessageBox& box) override {
    std::lock_guard<std::mutex> lock(mu_);
    boxes_.push_back(box);
    if (!answers_.empty()) {
      MsgAnswer a = answers_.front();
      answers_.pop_front();
      return a;
    }
    switch (box.buttons) {
      case MsgButtons::kYesNo:
        return MsgAnswer::kYes;
      default:
        return MsgAnswer::kOk;
    }
  }
  std::optional<std::string> ChooseOpenFile(const std::string& filter) override {
    std::lock_guard<std::mutex> lock(mu_);
    filters_.push_back(filter);
    return open_choice_;
  }
  std::optional<std::string> ChooseSaveFile(const std::string& filter) override {
    std::lock_guard<std::mutex> lock(mu_);
    filters_.push_back(filter);
    return save_choice_;
  }
  void ArmTimer(int id, uint32_t period_ms) override {
    std::lock_guard<std::mutex> lock(mu_);
    timers_[id] = period_ms;
  }
  void Beep(uint32_t hz, uint32_t ms) override {
    std::lock_guard<std::mutex> lock(mu_);
    beeps_.push_back({hz, ms});
  }
  void UpdateCursor() override {
    std::lock_guard<std::mutex> lock(mu_);
    ++cursor_updates_;
  }
  void LockViewControls(bool locked) override {
    std::lock_guard<std::mutex> lock(mu_);
    locks_.push_back(locked);
  }

  void SetWindowRegion(int width, int height) override {
    std::lock_guard<std::mutex> lock(mu_);
    region_w_ = width;
    region_h_ = height;
  }
  void RunOnUiThread(const std::function<void()>& task) override { task(); }
  void RequestClose() override {
    std::lock_guard<std::mutex> lock(mu_);
    ++close_requests_;
  }

  void PrepareCodeViewList() override {
    std::lock_guard<std::mutex> lock(mu_);
    ++list_prepared_;
  }
  void SetListCell(int row, int column, const std::string& text) override {
    std::lock_guard<std::mutex> lock(mu_);
    cells_[{row, column}] = text;
  }
  std::string ListCell(int row, int column) override {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = cells_.find({row, column});
    return it == cells_.end() ? std::string() : it->second;
  }

  bool RunCounterDialog(CounterDialog* dialog) override {
    std::lock_guard<std::mutex> lock(mu_);
    counter_dialogs_.push_back(*dialog);
    if (!counter_answer_) return false;
    *dialog = *counter_answer_;
    return true;
  }
  std::optional<std::string> RunEditDialog(const std::string& address_text,
                                           const std::string& value) override {
    std::lock_guard<std::mutex> lock(mu_);
    edit_dialogs_.push_back({address_text, value});
    return edit_answer_;
  }

  // Test-side access (call while no other thread uses the surface).
  std::map<int, std::string> texts_;
  std::map<int, bool> checked_;
  std::map<int, bool> enabled_;
  std::map<int, bool> visible_;
  std::string status_;
  std::vector<std::string> statuses_;
  std::vector<MessageBox> boxes_;
  std::deque<MsgAnswer> answers_;
  std::vector<std::string> filters_;
  std::optional<std::string> open_choice_;
  std::optional<std::string> save_choice_;
  std::map<int, uint32_t> timers_;
  std::vector<Beeped> beeps_;
  std::vector<bool> locks_;
  int cursor_updates_ = 0;
  int repaints_ = 0;
  int region_w_ = 0, region_h_ = 0;
  int close_requests_ = 0;
  int list_prepared_ = 0;
  std::vector<CounterDialog> counter_dialogs_;
  std::optional<CounterDialog> counter_answer_;  // nullopt: cancelled
  std::vector<std::pair<std::string, std::string>> edit_dialogs_;
  std::optional<std::string> edit_answer_;       // nullopt: cancelled
  std::map<std::pair<int, int>, std::string> cells_;

 private:
  std::mutex mu_;
};

}  // namespace zvp::test
