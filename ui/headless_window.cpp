#include "ui/headless_window.h"

#include <utility>

#include "core/app_state.h"
#include "ui/control_ids.h"
#include "ui/dispatcher.h"

namespace zvp {
namespace {

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The first `max_chars` characters of UTF-8 text, never half a character.
std::string FirstChars(const std::string& text, size_t max_chars) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsContinuationByte(text[i])) continue;
    if (chars == max_chars) return text.substr(0, i);
    ++chars;
  }
  return text;
}

void RemoveLastChar(std::string& text) {
  while (!text.empty() && IsContinuationByte(text.back())) text.pop_back();
  if (!text.empty()) text.pop_back();
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool IsButton(ControlKind kind) {
  return kind == ControlKind::kPush || kind == ControlKind::kRadio || kind == ControlKind::kCheck;
}

}  // namespace

HeadlessWindow::HeadlessWindow() {
  const auto entries = MainWindowControls();
  controls_.reserve(entries.size());
  for (const ControlSpec& entry : entries) {
    index_[entry.id] = controls_.size();
    controls_.push_back(Control{&entry, {}, false, true, true});
  }
  ResetControlsLocked();  // not shared yet
}

void HeadlessWindow::SetObservers(Observers observers) {
  std::lock_guard<std::mutex> lock(mu_);
  observers_ = std::move(observers);
}

HeadlessWindow::Control* HeadlessWindow::Find(int id) {
  auto it = index_.find(id);
  return it == index_.end() ? nullptr : &controls_[it->second];
}

const HeadlessWindow::Control* HeadlessWindow::Find(int id) const {
  auto it = index_.find(id);
  return it == index_.end() ? nullptr : &controls_[it->second];
}

// A child of a hidden group box is hidden with it, whatever its own state.
bool HeadlessWindow::ShownLocked(const Control& c) const {
  for (const Control* at = &c; at != nullptr; at = Find(at->entry->parent)) {
    if (!at->visible) return false;
  }
  return true;
}

bool HeadlessWindow::LockedViewControl(int id) const {
  return view_locked_ && (id == ctl::kViewMemory || id == ctl::kViewChip || id == ctl::kViewAscii);
}

void HeadlessWindow::ResetControlsLocked() {
  for (Control& c : controls_) {
    c.text = c.entry->caption;
    c.checked = false;
    c.enabled = (c.entry->styles & style::kDisabledAtStart) == 0;
    c.visible = (c.entry->styles & style::kHiddenAtStart) == 0;
  }
}

void HeadlessWindow::ClearRecordsLocked() {
  timers_.clear();
  beeps_.clear();
  messages_.clear();
  region_ = Region{};
  view_locked_ = false;
  wait_cursor_ = false;
  close_requests_ = 0;
  status_repaints_ = 0;
  list_prepared_ = false;
  cells_.clear();
}

void HeadlessWindow::ResetToCreatedState() {
  std::lock_guard<std::mutex> lock(mu_);
  ResetControlsLocked();
  ClearRecordsLocked();
}

std::string HeadlessWindow::GetText(int id, size_t max_chars) {
  std::lock_guard<std::mutex> lock(mu_);
  const Control* c = Find(id);
  return c ? FirstChars(c->text, max_chars) : std::string();
}

void HeadlessWindow::SetText(int id, const std::string& text) {
  std::function<void(const std::string&)> notify;
  {
    std::lock_guard<std::mutex> lock(mu_);
    Control* c = Find(id);
    if (c == nullptr) return;
    c->text = text;
    if (id == ctl::kStatusLine) notify = observers_.status_changed;
  }
  if (notify) notify(text);
}

bool HeadlessWindow::IsChecked(int id) {
  std::lock_guard<std::mutex> lock(mu_);
  const Control* c = Find(id);
  return c != nullptr && c->checked;
}

void HeadlessWindow::SetChecked(int id, bool checked) {
  std::lock_guard<std::mutex> lock(mu_);
  if (Control* c = Find(id)) c->checked = checked;
}

bool HeadlessWindow::IsEnabled(int id) {
  std::lock_guard<std::mutex> lock(mu_);
  const Control* c = Find(id);
  return c != nullptr && c->enabled;
}

void HeadlessWindow::SetEnabled(int id, bool enabled) {
  std::lock_guard<std::mutex> lock(mu_);
  if (Control* c = Find(id)) c->enabled = enabled;
}

bool HeadlessWindow::IsVisible(int id) {
  std::lock_guard<std::mutex> lock(mu_);
  const Control* c = Find(id);
  return c != nullptr && ShownLocked(*c);
}

void HeadlessWindow::SetVisible(int id, bool visible) {
  std::lock_guard<std::mutex> lock(mu_);
  if (Control* c = Find(id)) c->visible = visible;
}

void HeadlessWindow::SetStatus(const std::string& text) {
  SetText(ctl::kStatusLine, text);
}

void HeadlessWindow::ShowProgress(const Progress& progress) {
  const std::string text = ProgressText(progress);
  std::function<void(const Progress&, const std::string&)> notify;
  {
    std::lock_guard<std::mutex> lock(mu_);
    Control* c = Find(ctl::kStatusLine);
    if (c == nullptr) return;
    c->text = text;
    notify = observers_.progress_shown;
    if (!notify && observers_.status_changed) {
      notify = [hear = observers_.status_changed](const Progress&, const std::string& t) { hear(t); };
    }
  }
  if (notify) notify(progress, text);
}

std::string HeadlessWindow::Status() {
  std::lock_guard<std::mutex> lock(mu_);
  const Control* c = Find(ctl::kStatusLine);
  return c ? c->text : std::string();
}

void HeadlessWindow::RepaintStatus() {
  std::lock_guard<std::mutex> lock(mu_);
  ++status_repaints_;
}

MsgAnswer HeadlessWindow::ShowMessage(const MessageBox& box) {
  std::function<MsgAnswer(const MessageBox&)> answer;
  {
    std::lock_guard<std::mutex> lock(mu_);
    messages_.push_back(box);
    answer = observers_.message_box;
  }
  if (answer) return answer(box);
  return box.buttons == MsgButtons::kYesNo ? MsgAnswer::kYes : MsgAnswer::kOk;
}

std::optional<std::string> HeadlessWindow::ChooseOpenFile(const std::string& filter) {
  std::function<std::optional<std::string>(const std::string&)> choose;
  {
    std::lock_guard<std::mutex> lock(mu_);
    choose = observers_.open_file;
  }
  if (choose) return choose(filter);
  return std::nullopt;
}

std::optional<std::string> HeadlessWindow::ChooseSaveFile(const std::string& filter) {
  std::function<std::optional<std::string>(const std::string&)> choose;
  {
    std::lock_guard<std::mutex> lock(mu_);
    choose = observers_.save_file;
  }
  if (choose) return choose(filter);
  return std::nullopt;
}

void HeadlessWindow::ArmTimer(int id, uint32_t period_ms) {
  std::function<void(int, uint32_t)> notify;
  {
    std::lock_guard<std::mutex> lock(mu_);
    timers_[id] = period_ms;  // arming an armed id replaces its period
    notify = observers_.timer_armed;
  }
  if (notify) notify(id, period_ms);
}

void HeadlessWindow::Beep(uint32_t hz, uint32_t ms) {
  std::function<void(uint32_t, uint32_t)> notify;
  {
    std::lock_guard<std::mutex> lock(mu_);
    beeps_.push_back({hz, ms});
    notify = observers_.beeped;
  }
  if (notify) notify(hz, ms);
}

void HeadlessWindow::UpdateCursor() {
  std::function<void(bool)> notify;
  const bool wait = App().busy.load() != 0;
  {
    std::lock_guard<std::mutex> lock(mu_);
    wait_cursor_ = wait;
    notify = observers_.cursor_changed;
  }
  if (notify) notify(wait);
}

void HeadlessWindow::LockViewControls(bool locked) {
  std::function<void(bool)> notify;
  {
    std::lock_guard<std::mutex> lock(mu_);
    view_locked_ = locked;
    notify = observers_.view_lock_changed;
  }
  if (notify) notify(locked);
}

void HeadlessWindow::SetWindowRegion(int width, int height) {
  std::function<void(int, int)> notify;
  {
    std::lock_guard<std::mutex> lock(mu_);
    region_ = Region{width, height};
    notify = observers_.region_changed;
  }
  if (notify) notify(width, height);
}

void HeadlessWindow::RequestClose() {
  std::function<void()> notify;
  {
    std::lock_guard<std::mutex> lock(mu_);
    ++close_requests_;
    notify = observers_.close_requested;
  }
  if (notify) notify();
}

bool HeadlessWindow::Click(int id) {
  int parent = 0;
  {
    std::lock_guard<std::mutex> lock(mu_);
    Control* c = Find(id);
    if (c == nullptr || !c->enabled || !ShownLocked(*c)) return false;
    // The lock swallows the press itself: no check change, no command.
    if (LockedViewControl(id)) return false;
    const ControlSpec& entry = *c->entry;
    switch (entry.kind) {
      case ControlKind::kPush:
        break;
      case ControlKind::kCheck:
        c->checked = !c->checked;
        break;
      case ControlKind::kRadio:
        // Automatic radio buttons group by parent window.
        for (Control& other : controls_) {
          if (other.entry->kind == ControlKind::kRadio && other.entry->parent == entry.parent) {
            other.checked = other.entry->id == id;
          }
        }
        break;
      default:
        return false;
    }
    parent = entry.parent;
  }
  // Outside the lock: the dispatcher reads and writes the window.
  DispatchCommand(id, parent);
  return true;
}

bool HeadlessWindow::PressEnter(int id) {
  int command = 0;
  int parent = 0;
  {
    std::lock_guard<std::mutex> lock(mu_);
    const Control* c = Find(id);
    // A disabled or invisible control cannot have the focus.
    if (c == nullptr || !c->enabled || !ShownLocked(*c)) return false;
    if (IsButton(c->entry->kind)) {
      command = id;
    } else if (id == ctl::kViewAddress) {
      command = ctl::kViewSet;
    } else {
      return false;
    }
    parent = c->entry->parent;
  }
  DispatchCommand(command, parent);
  return true;
}

void HeadlessWindow::TypeText(int id, const std::string& text) {
  std::lock_guard<std::mutex> lock(mu_);
  Control* c = Find(id);
  if (c == nullptr || c->entry->kind != ControlKind::kEdit || !c->enabled || !ShownLocked(*c)) {
    return;
  }
  const uint32_t styles = c->entry->styles;
  if (styles & style::kReadOnly) return;
  const bool any_char = id == ctl::kFileBox;
  for (char ch : text) {
    if (ch == '\b') {
      RemoveLastChar(c->text);
      continue;
    }
    if (!any_char) {
      if (!IsHexDigit(ch)) continue;
      if ((styles & style::kDigitsOnly) && !(ch >= '0' && ch <= '9')) continue;
      if ((styles & style::kUpperCase) && ch >= 'a' && ch <= 'f') ch = static_cast<char>(ch - 32);
    }
    c->text.push_back(ch);
  }
}

std::optional<ControlKind> HeadlessWindow::KindOf(int id) const {
  std::lock_guard<std::mutex> lock(mu_);
  const Control* c = Find(id);
  if (c == nullptr) return std::nullopt;
  return c->entry->kind;
}

std::optional<int> HeadlessWindow::ParentOf(int id) const {
  std::lock_guard<std::mutex> lock(mu_);
  const Control* c = Find(id);
  if (c == nullptr) return std::nullopt;
  return c->entry->parent;
}

std::map<int, uint32_t> HeadlessWindow::ArmedTimers() const {
  std::lock_guard<std::mutex> lock(mu_);
  return timers_;
}

std::vector<HeadlessWindow::BeepRecord> HeadlessWindow::Beeps() const {
  std::lock_guard<std::mutex> lock(mu_);
  return beeps_;
}

std::vector<MessageBox> HeadlessWindow::Messages() const {
  std::lock_guard<std::mutex> lock(mu_);
  return messages_;
}

HeadlessWindow::Region HeadlessWindow::WindowRegion() const {
  std::lock_guard<std::mutex> lock(mu_);
  return region_;
}

bool HeadlessWindow::ViewLocked() const {
  std::lock_guard<std::mutex> lock(mu_);
  return view_locked_;
}

bool HeadlessWindow::WaitCursor() const {
  std::lock_guard<std::mutex> lock(mu_);
  return wait_cursor_;
}

int HeadlessWindow::CloseRequests() const {
  std::lock_guard<std::mutex> lock(mu_);
  return close_requests_;
}

int HeadlessWindow::StatusRepaints() const {
  std::lock_guard<std::mutex> lock(mu_);
  return status_repaints_;
}

void HeadlessWindow::PrepareCodeViewList() {
  std::lock_guard<std::mutex> lock(mu_);
  list_prepared_ = true;
}

void HeadlessWindow::SetListCell(int row, int column, const std::string& text) {
  std::lock_guard<std::mutex> lock(mu_);
  cells_[{row, column}] = text;
}

std::string HeadlessWindow::ListCell(int row, int column) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = cells_.find({row, column});
  return it == cells_.end() ? std::string() : it->second;
}

bool HeadlessWindow::ListPrepared() const {
  std::lock_guard<std::mutex> lock(mu_);
  return list_prepared_;
}

bool HeadlessWindow::RunCounterDialog(CounterDialog* dialog) {
  std::function<bool(CounterDialog*)> observer;
  {
    std::lock_guard<std::mutex> lock(mu_);
    observer = observers_.counter_dialog;
  }
  return observer ? observer(dialog) : false;
}

std::optional<std::string> HeadlessWindow::RunEditDialog(const std::string& address_text,
                                                         const std::string& value) {
  std::function<std::optional<std::string>(const std::string&, const std::string&)> observer;
  {
    std::lock_guard<std::mutex> lock(mu_);
    observer = observers_.edit_dialog;
  }
  if (!observer) return std::nullopt;
  return observer(address_text, value);
}

std::optional<std::string> HeadlessWindow::RunPortDialog(const std::string& current) {
  std::function<std::optional<std::string>(const std::string&)> observer;
  {
    std::lock_guard<std::mutex> lock(mu_);
    observer = observers_.port_dialog;
  }
  if (!observer) return std::nullopt;
  return observer(current);
}

}  // namespace zvp
