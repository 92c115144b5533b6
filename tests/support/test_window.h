// The program's own headless window for the unit tests, with what a test
// needs beyond the window's own records: every status text in order,
// answers to the coming message boxes, the file dialogs' choices and the
// filters they were asked with, the edit and counter dialogs' answers, how
// often the cursor was updated and each lock or unlock of the view. The
// window itself (its controls, clicks, boxes shown, beeps, timers, region,
// repaints) is reached with ->.
//
// Its records are kept under a lock: the operation worker and the reset
// poll write the status line while the test thread reads.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ui/headless_window.h"

namespace zvp::test {

class TestWindow {
 public:
  using EditRequest = std::pair<std::string, std::string>;  // address text, value shown

  TestWindow() {
    HeadlessWindow::Observers o;
    o.status_changed = [this](const std::string& text) { StatusChanged(text); };
    o.message_box = [this](const MessageBox& box) { return AnswerBox(box); };
    o.open_file = [this](const std::string& filter) { return Choose(filter, &open_choice_); };
    o.save_file = [this](const std::string& filter) { return Choose(filter, &save_choice_); };
    o.cursor_changed = [this](bool) { CursorUpdated(); };
    o.view_lock_changed = [this](bool locked) {
      std::lock_guard<std::mutex> lock(mu_);
      view_locks_.push_back(locked);
    };
    o.edit_dialog = [this](const std::string& address, const std::string& value) {
      std::lock_guard<std::mutex> lock(mu_);
      edit_requests_.emplace_back(address, value);
      return edit_answer_;
    };
    o.counter_dialog = [this](CounterDialog* dialog) {
      std::lock_guard<std::mutex> lock(mu_);
      counter_requests_.push_back(*dialog);
      if (!counter_answer_) return false;
      *dialog = *counter_answer_;
      return true;
    };
    window_.SetObservers(std::move(o));
  }
  ~TestWindow() { ReleaseWorkers(); }

  HeadlessWindow* operator->() { return &window_; }
  HeadlessWindow& operator*() { return window_; }

  // ---- What the user does.

  // Clicks a check box until it shows `ticked`, as the user would; a box the
  // user cannot click (greyed, hidden) fails the test.
  void Tick(int id, bool ticked) {
    if (window_.IsChecked(id) != ticked) {
      EXPECT_TRUE(window_.Click(id)) << "control " << id << " cannot be clicked";
    }
  }

  // The next message boxes are answered in this order; after them each box
  // takes its first button.
  void AnswerBoxes(std::initializer_list<MsgAnswer> answers) {
    std::lock_guard<std::mutex> lock(mu_);
    box_answers_.insert(box_answers_.end(), answers);
  }
  // What the open and save dialogs return from now on; nullopt is Cancel.
  void ChooseOpenFile(std::optional<std::string> path) {
    std::lock_guard<std::mutex> lock(mu_);
    open_choice_ = std::move(path);
  }
  void ChooseSaveFile(std::optional<std::string> path) {
    std::lock_guard<std::mutex> lock(mu_);
    save_choice_ = std::move(path);
  }
  // What the code edit dialog returns from now on; nullopt is Cancel.
  void AnswerEditDialog(std::optional<std::string> typed) {
    std::lock_guard<std::mutex> lock(mu_);
    edit_answer_ = std::move(typed);
  }
  // What the user leaves in the counter dialog before OK; nullopt is Cancel.
  void AnswerCounterDialog(std::optional<CounterDialog> left) {
    std::lock_guard<std::mutex> lock(mu_);
    counter_answer_ = std::move(left);
  }

  // Runs after each status text, on the thread that wrote it: a user who
  // reacts to what the status line says (double-clicks it to stop, clicks a
  // box meanwhile).
  void OnStatus(std::function<void(const std::string& text)> reaction) {
    std::lock_guard<std::mutex> lock(mu_);
    on_status_ = std::move(reaction);
  }
  // Runs when a message box is shown, before it is answered.
  void OnMessageBox(std::function<void(const MessageBox& box)> reaction) {
    std::lock_guard<std::mutex> lock(mu_);
    on_box_ = std::move(reaction);
  }

  // Holds an operation worker at its first step (its cursor update) until
  // ReleaseWorkers, so that the test can act between a start and the
  // operation. The thread that made the window is never held.
  void HoldWorkers() {
    std::lock_guard<std::mutex> lock(mu_);
    hold_workers_ = true;
  }
  void ReleaseWorkers() {
    std::lock_guard<std::mutex> lock(mu_);
    hold_workers_ = false;
    released_.notify_all();
  }

  // ---- What the window was asked.

  std::vector<std::string> Statuses() const {
    std::lock_guard<std::mutex> lock(mu_);
    return statuses_;
  }
  std::vector<std::string> StatusesStarting(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& s : Statuses())
      if (s.rfind(prefix, 0) == 0) out.push_back(s);
    return out;
  }
  bool StatusShown(const std::string& text) const {
    const auto all = Statuses();
    return std::find(all.begin(), all.end(), text) != all.end();
  }
  // From here on only the texts still to come count.
  void ForgetStatuses() {
    std::lock_guard<std::mutex> lock(mu_);
    statuses_.clear();
  }
  std::vector<std::string> FiltersAsked() const {
    std::lock_guard<std::mutex> lock(mu_);
    return filters_;
  }
  std::vector<EditRequest> EditRequests() const {
    std::lock_guard<std::mutex> lock(mu_);
    return edit_requests_;
  }
  std::vector<CounterDialog> CounterRequests() const {
    std::lock_guard<std::mutex> lock(mu_);
    return counter_requests_;
  }
  int CursorUpdates() const {
    std::lock_guard<std::mutex> lock(mu_);
    return cursor_updates_;
  }
  void ForgetCursorUpdates() {
    std::lock_guard<std::mutex> lock(mu_);
    cursor_updates_ = 0;
  }
  std::vector<bool> ViewLocks() const {
    std::lock_guard<std::mutex> lock(mu_);
    return view_locks_;
  }
  void ForgetViewLocks() {
    std::lock_guard<std::mutex> lock(mu_);
    view_locks_.clear();
  }

  // ---- Reading the window.

  // A control's whole text.
  std::string Text(int id) { return window_.GetText(id, 4096); }
  // The code view's list as shown: 16 rows of the address and 16 bytes.
  std::vector<std::vector<std::string>> Cells() {
    std::vector<std::vector<std::string>> rows(16);
    for (int row = 0; row < 16; ++row)
      for (int column = 0; column <= 16; ++column)
        rows[row].push_back(window_.ListCell(row, column));
    return rows;
  }

 private:
  void StatusChanged(const std::string& text) {
    std::function<void(const std::string&)> reaction;
    {
      std::lock_guard<std::mutex> lock(mu_);
      statuses_.push_back(text);
      reaction = on_status_;
    }
    if (reaction) reaction(text);
  }
  MsgAnswer AnswerBox(const MessageBox& box) {
    std::function<void(const MessageBox&)> reaction;
    {
      std::lock_guard<std::mutex> lock(mu_);
      reaction = on_box_;
    }
    if (reaction) reaction(box);
    std::lock_guard<std::mutex> lock(mu_);
    if (!box_answers_.empty()) {
      const MsgAnswer answer = box_answers_.front();
      box_answers_.pop_front();
      return answer;
    }
    return box.buttons == MsgButtons::kYesNo ? MsgAnswer::kYes : MsgAnswer::kOk;
  }
  std::optional<std::string> Choose(const std::string& filter,
                                    const std::optional<std::string>* choice) {
    std::lock_guard<std::mutex> lock(mu_);
    filters_.push_back(filter);
    return *choice;
  }
  void CursorUpdated() {
    std::unique_lock<std::mutex> lock(mu_);
    ++cursor_updates_;
    if (std::this_thread::get_id() != ui_thread_)
      released_.wait(lock, [this] { return !hold_workers_; });
  }

  HeadlessWindow window_;
  const std::thread::id ui_thread_ = std::this_thread::get_id();

  mutable std::mutex mu_;
  std::condition_variable released_;
  bool hold_workers_ = false;
  std::vector<std::string> statuses_;
  std::deque<MsgAnswer> box_answers_;
  std::optional<std::string> open_choice_;
  std::optional<std::string> save_choice_;
  std::vector<std::string> filters_;
  std::optional<std::string> edit_answer_;
  std::vector<EditRequest> edit_requests_;
  std::optional<CounterDialog> counter_answer_;
  std::vector<CounterDialog> counter_requests_;
  int cursor_updates_ = 0;
  std::vector<bool> view_locks_;
  std::function<void(const std::string&)> on_status_;
  std::function<void(const MessageBox&)> on_box_;
};

}  // namespace zvp::test
