// Connecting the programmer and watching for its reset message, against the
// virtual programmer; and the reset poll's stop racing its port work and its
// status write, with a window that, like the real one, makes a worker's
// status write wait for the UI thread.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <random>
#include <thread>

#include "ui/control_ids.h"
#include "core/forwarding_port.h"
#include "core/status_display.h"
#include "core/window_frame.h"
#include "engine/engine.h"
#include "link/connection.h"
#include "link/serial_link.h"
#include "tests/support/link_fixture.h"
#include "ui/code_edit.h"
#include "ui/window_choices.h"

namespace zvp::test {
namespace {

// Fails the first `failures` opens, then passes them on.
class FlakyOpenPort final : public ForwardingPort {
 public:
  FlakyOpenPort(SerialPort* inner, int failures) : ForwardingPort(inner), failures_(failures) {}
  bool Open(const std::string& name) override {
    ++opens;
    if (failures_ > 0) {
      --failures_;
      inner()->Open("no such port");
      return false;
    }
    return inner()->Open(name);
  }
  int opens = 0;

 private:
  int failures_;
};

// Refuses every open the way a platform says why: the invalid handle of a
// failed open and the reason given. With kNone it opens, but its queue
// request is refused: a device that opens but is no serial port.
class RefusingPort final : public ForwardingPort {
 public:
  RefusingPort(SerialPort* inner, OpenFailure why) : ForwardingPort(inner), why_(why) {}
  bool Open(const std::string& name) override {
    if (why_ == OpenFailure::kNone) return inner()->Open(name);
    inner()->Open("no such port");
    return false;
  }
  OpenFailure LastOpenFailure() const override { return why_; }
  bool SetupQueues(uint32_t a, uint32_t b) override {
    return why_ != OpenFailure::kNone && inner()->SetupQueues(a, b);
  }

 private:
  OpenFailure why_;
};

// Counts how many threads are inside a port call at once.
class ExclusivityPort final : public SerialPort {
 public:
  explicit ExclusivityPort(SerialPort* inner) : inner_(inner) {}
  template <typename F>
  auto Use(F f) {
    if (users_.fetch_add(1) > 0) overlapped = true;
    auto r = f();
    users_.fetch_sub(1);
    return r;
  }
  bool Open(const std::string& n) override { return Use([&] { return inner_->Open(n); }); }
  void Close() override { inner_->Close(); }
  PortHandle Handle() const override { return inner_->Handle(); }
  bool SetupQueues(uint32_t a, uint32_t b) override {
    ++queue_requests;
    return Use([&] { return inner_->SetupQueues(a, b); });
  }
  bool ClearErrors() override { return Use([&] { return inner_->ClearErrors(); }); }
  bool ClearBreak() override { return Use([&] { return inner_->ClearBreak(); }); }
  bool Purge() override { return Use([&] { return inner_->Purge(); }); }
  bool SetLine(const LineSettings& s) override { return Use([&] { return inner_->SetLine(s); }); }
  bool SetTimeouts(const CommTimeouts& t) override {
    return Use([&] { return inner_->SetTimeouts(t); });
  }
  bool RaiseRts() override { return Use([&] { return inner_->RaiseRts(); }); }
  bool WatchTxEmpty() override { return Use([&] { return inner_->WatchTxEmpty(); }); }
  bool WaitTxEmpty(uint32_t ms) override { return Use([&] { return inner_->WaitTxEmpty(ms); }); }
  bool Read(uint8_t* b, uint32_t n, uint32_t* got) override {
    return Use([&] { return inner_->Read(b, n, got); });
  }
  bool ReadWaiting(uint8_t* b, uint32_t n, uint32_t* got) override {
    return Use([&] { return inner_->ReadWaiting(b, n, got); });
  }
  bool Write(const uint8_t* b, uint32_t n, uint32_t* done) override {
    return Use([&] { return inner_->Write(b, n, done); });
  }
  std::atomic<bool> overlapped{false};
  std::atomic<int> queue_requests{0};

 private:
  SerialPort* inner_;
  std::atomic<int> users_{0};
};

// Like the real window: a status write or a task from another thread waits
// until the UI thread (the one that made this) has run it. Built on the
// bench's window: the status line and the frame go through here, every other
// seam straight to it. Installed for its lifetime.
class MarshallingWindow final : public StatusDisplay, public WindowFrame {
 public:
  explicit MarshallingWindow(TestWindow& window) : window_(window) {
    InstallWindow(&*window_);
    App().status = this;
    App().frame = this;
  }
  ~MarshallingWindow() override { InstallWindow(&*window_); }

  void SetStatus(const std::string& text) override {
    RunOnUiThread([this, text] { window_->SetStatus(text); });
  }
  std::string Status() override { return window_->Status(); }
  void RepaintStatus() override { window_->RepaintStatus(); }
  void UpdateCursor() override { window_->UpdateCursor(); }
  void ArmTimer(int id, uint32_t period_ms) override { window_->ArmTimer(id, period_ms); }
  void SetWindowRegion(int width, int height) override { window_->SetWindowRegion(width, height); }
  void RequestClose() override { window_->RequestClose(); }
  void RunOnUiThread(const std::function<void()>& task) override {
    if (std::this_thread::get_id() == ui_) {
      task();
      return;
    }
    std::unique_lock<std::mutex> lock(mu_);
    const uint64_t ticket = ++posted_;
    tasks_.push_back(task);
    cv_.notify_all();
    cv_.wait(lock, [&] { return done_ >= ticket; });
  }
  size_t Pending() {
    std::lock_guard<std::mutex> lock(mu_);
    return tasks_.size();
  }
  // Runs what other threads posted; on the UI thread only.
  void Pump() {
    std::unique_lock<std::mutex> lock(mu_);
    while (!tasks_.empty()) {
      auto task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      task();
      lock.lock();
      ++done_;
      cv_.notify_all();
    }
  }

 private:
  TestWindow& window_;
  std::thread::id ui_ = std::this_thread::get_id();
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> tasks_;
  uint64_t posted_ = 0, done_ = 0;
};

class Connection : public LinkTest {
 protected:
  void TearDown() override {
    WaitForResetPoll();
    LinkTest::TearDown();
  }
};

TEST_F(Connection, ConnectShowsProgressThenTheOkText) {
  ConnectPort(2, ReadOperatorChoices());
  EXPECT_EQ(window_.Statuses(),
            (std::vector<std::string>{"初始化ZVP-V2.0C,请稍候......",
                                      "OK, 已检测到 ZVP-V2.0C 连接在端口 COM2"}));
  EXPECT_GE(window_->StatusRepaints(), 1);
  EXPECT_TRUE(App().programmer_found);
  EXPECT_TRUE(App().port_chosen);
  EXPECT_FALSE(App().busy);
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(window_.CursorUpdates(), 2);
  EXPECT_EQ(window_->ArmedTimers().count(ctl::kReconnectTimer), 0u);
  EXPECT_EQ(Calls("OPEN"), std::vector<std::string>{"COM2 ok"});
}

TEST_F(Connection, ASecondOpenAttemptFollowsAfterOneHundredMilliseconds) {
  FlakyOpenPort flaky(&sim_port_, 1);
  App().port = &flaky;
  const int64_t t0 = clock_.NowUs();
  ConnectPort(1, ReadOperatorChoices());
  EXPECT_EQ(flaky.opens, 2);
  EXPECT_EQ(window_->Status(), "OK, 已检测到 ZVP-V2.0C 连接在端口 COM1");
  EXPECT_EQ(window_->ArmedTimers().count(ctl::kReconnectTimer), 0u);
  EXPECT_GE(clock_.NowUs() - t0, 100'000);
  EXPECT_EQ(Calls("DELAY").front(), "100");
}

TEST_F(Connection, TwoFailuresShowTheErrorAndArmTheReconnectTimer) {
  FlakyOpenPort flaky(&sim_port_, 5);
  App().port = &flaky;
  App().count_failure = true;
  ConnectPort(3, ReadOperatorChoices());
  EXPECT_EQ(flaky.opens, 2);  // no third try
  EXPECT_EQ(window_->Status(), "编程器连接错误,编程器可能正忙,请稍候再试!");
  EXPECT_TRUE(App().link_fault);
  EXPECT_FALSE(App().programmer_found);
  EXPECT_TRUE(App().port_chosen);  // operations may still be asked for
  EXPECT_FALSE(App().count_failure);
  EXPECT_EQ(window_->ArmedTimers().at(ctl::kReconnectTimer), 1000u);
}

TEST_F(Connection, ASilentProgrammerIsAskedTwice) {
  device_.faults().silent = true;
  ConnectPort(1, ReadOperatorChoices());
  EXPECT_EQ(device_.headers().size(), 2u);
  EXPECT_FALSE(App().programmer_found);
  EXPECT_EQ(window_->Status(), "编程器连接错误,编程器可能正忙,请稍候再试!");
}

// The connection error on the status line is the same for every failure;
// a box says which one it was, since the technician's next step differs.
TEST_F(Connection, AFailedConnectionSaysWhyInABoxAndKeepsTheErrorOnTheStatusLine) {
  struct Case {
    OpenFailure refusal;  // kNone: the port opens
    bool silent;
    std::string box;
  } cases[] = {
      {OpenFailure::kNoSuchPort, false,
       "端口 COM3 不存在!\n请检查USB转串口线是否插好, 并确认编程器所在的端口号。"},
      {OpenFailure::kInUse, false,
       "端口 COM3 已被其它软件占用!\n例如另一个编程器窗口或串口调试软件。\n请关闭占用该端口的软件, 或选择其它端口。"},
      {OpenFailure::kOther, false, "端口 COM3 无法打开!\n请检查该端口的驱动程序是否正常。"},
      {OpenFailure::kNone, true,
       "端口 COM3 已打开, 但编程器没有应答!\n请检查编程器的电源和连接线, 然后重新连接该端口。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.box);
    const size_t boxes = window_->Messages().size();
    RefusingPort refusing(&sim_port_, c.refusal);
    App().port = c.silent ? static_cast<SerialPort*>(&port_) : &refusing;
    device_.faults().silent = c.silent;
    ConnectPort(3, ReadOperatorChoices());
    ASSERT_EQ(window_->Messages().size(), boxes + 1);
    const MessageBox box = window_->Messages().back();
    EXPECT_EQ(box.text, c.box);
    EXPECT_EQ(box.caption, "警 告");
    EXPECT_EQ(box.icon, MsgIcon::kWarning);
    EXPECT_EQ(window_->Status(), "编程器连接错误,编程器可能正忙,请稍候再试!");
    EXPECT_TRUE(App().link_fault);
  }
  // The reconnect timer only listens, once a second: its ticks add no box,
  // and a programmer that comes back is heard as before, with no box.
  App().port = &port_;
  device_.faults().silent = true;
  ConnectPort(3, ReadOperatorChoices());
  const size_t after_failure = window_->Messages().size();
  device_.faults().silent = false;
  for (int i = 0; i < 5; ++i) {
    OnTimerTick(i % 2 ? ctl::kReconnectTimer : ctl::kResetPollTimer);
    WaitForResetPoll();
  }
  EXPECT_EQ(window_->Messages().size(), after_failure);
  EXPECT_EQ(window_->Status(), "编程器连接错误,编程器可能正忙,请稍候再试!");
  device_.SendReset(clock_.NowUs() + 15'000);
  OnTimerTick(ctl::kReconnectTimer);
  WaitForResetPoll();
  EXPECT_TRUE(App().programmer_found);
  EXPECT_EQ(window_->Status(),
            "OK,检测到 ZVP-V2.0C 已复位!请点击[下载文件代码]按钮以刷新编程器内存代码");
  EXPECT_EQ(window_->Messages().size(), after_failure);

  // The virtual programmer has COM1 to COM4 only: COM9 does not exist.
  App().port = &port_;
  device_.faults().silent = false;
  ConnectPort("COM9", ReadOperatorChoices());
  EXPECT_EQ(window_->Messages().back().text,
            "端口 COM9 不存在!\n请检查USB转串口线是否插好, 并确认编程器所在的端口号。");

  // A device that opens but is no serial port has the serial-port box of
  // the link, and no second one.
  RefusingPort no_serial(&sim_port_, OpenFailure::kNone);
  App().port = &no_serial;
  const size_t boxes = window_->Messages().size();
  ConnectPort(3, ReadOperatorChoices());
  ASSERT_EQ(window_->Messages().size(), boxes + 2);  // once per open attempt
  EXPECT_EQ(window_->Messages().back().text, "读取串口错误,该端口可能不存在或被其它软件占用!");
}

using ResetWatch = Connection;

TEST_F(ResetWatch, TheResetMessageClearsTheBufferAndTurnsTheStatusRed) {
  ASSERT_TRUE(sim_port_.Open("COM1"));
  App().code_buffer[0x10] = 0x12;
  App().memory_loaded = true;
  device_.SendReset(clock_.NowUs() + 15'000);
  ResetPoll();
  EXPECT_TRUE(App().link_fault);
  EXPECT_TRUE(App().programmer_found);
  EXPECT_FALSE(App().memory_loaded);
  EXPECT_EQ(App().code_buffer[0x10], 0xFF);
  EXPECT_EQ(window_->Status(),
            "OK,检测到 ZVP-V2.0C 已复位!请点击[下载文件代码]按钮以刷新编程器内存代码");
  EXPECT_EQ(Calls("TIMEOUTS").front(), "5 5 5 5 5");
  EXPECT_EQ(Calls("PURGE").size(), 1u);
}

TEST_F(ResetWatch, SilenceOrOtherBytesLeaveTheFaultFlagAsItWas) {
  ASSERT_TRUE(sim_port_.Open("COM1"));
  for (bool before : {false, true}) {
    App().link_fault = before;
    ResetPoll();  // nothing comes
    EXPECT_EQ(App().link_fault, before);
    const uint8_t other[] = {'S', 'T', 'A', 'R', 'R', 'E', 'S', 'E', 'X'};
    device_.SendRaw(other, sizeof other, clock_.NowUs());
    App().code_buffer[0] = 0x42;
    ResetPoll();
    EXPECT_EQ(App().link_fault, before);
    EXPECT_EQ(App().code_buffer[0], 0x42);
  }
  EXPECT_TRUE(window_.Statuses().empty());
}

TEST_F(ResetWatch, NoPollWithoutAnOpenPort) {
  ResetPoll();
  sim_port_.SetAvailableNames({});
  sim_port_.Open("COM1");  // the invalid handle of a failed open
  ResetPoll();
  EXPECT_TRUE(lines_.empty());
}

TEST_F(ResetWatch, TicksStartNoPollWhileBusyOrWhileOneRuns) {
  ASSERT_TRUE(sim_port_.Open("COM1"));
  ExclusivityPort guard(&sim_port_);
  App().port = &guard;
  App().busy = true;
  OnTimerTick(ctl::kResetPollTimer);
  EXPECT_FALSE(ResetPollRunning());
  App().busy = false;

  // A poll that cannot finish (its status write waits for this thread)
  // keeps later ticks from starting another.
  MarshallingWindow ui(window_);
  device_.SendReset(clock_.NowUs());
  OnTimerTick(ctl::kResetPollTimer);
  while (guard.queue_requests == 0) std::this_thread::yield();
  for (int i = 0; i < 10; ++i) OnTimerTick(ctl::kReconnectTimer);
  EXPECT_EQ(guard.queue_requests, 1);
  while (ResetPollRunning()) {
    ui.Pump();
    std::this_thread::yield();
  }
  EXPECT_FALSE(guard.overlapped);
}

TEST_F(ResetWatch, AStopWhileThePollWaitsForTheUiThreadReturnsAtOnce) {
  ASSERT_TRUE(sim_port_.Open("COM1"));
  MarshallingWindow ui(window_);
  device_.SendReset(clock_.NowUs());
  OnTimerTick(ctl::kResetPollTimer);
  while (ui.Pending() == 0) std::this_thread::yield();  // blocked in its status write
  auto stop = std::async(std::launch::async, [] { StopResetPoll(); });
  const bool returned = stop.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
  while (stop.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) ui.Pump();
  EXPECT_TRUE(returned) << "the stop waited for the UI thread";
  while (ResetPollRunning()) ui.Pump();
  EXPECT_EQ(ui.Status(), "OK,检测到 ZVP-V2.0C 已复位!请点击[下载文件代码]按钮以刷新编程器内存代码");
}

// The reset watch and the code view's edit both change the buffer: the
// poll thread hears the reset while the UI thread stores an edited byte (the
// edit dialog is modal, and polls go on while it is open). The wipe must
// happen on the UI thread, the buffer's one owner while no operation runs;
// under ThreadSanitizer a wipe on the poll's thread is a race with the edit.
TEST_F(ResetWatch, TheResetWipesTheBufferOnTheUiThreadNeverBesideAnEdit) {
  ASSERT_TRUE(sim_port_.Open("COM1"));
  MarshallingWindow ui(window_);
  window_->SetListCell(0, 0, "00000");  // the page at 00000 on screen
  window_.AnswerEditDialog("5A");
  for (int round = 0; round < 40; ++round) {
    device_.SendReset(clock_.NowUs());
    OnTimerTick(ctl::kResetPollTimer);
    int column = 1;
    while (ResetPollRunning()) {
      EditCodeByte(0, column);  // the byte the user typed
      column = column % 16 + 1;
      ui.Pump();                // what the poll asked of this thread
    }
    ui.Pump();
    EXPECT_EQ(ui.Status(),
              "OK,检测到 ZVP-V2.0C 已复位!请点击[下载文件代码]按钮以刷新编程器内存代码");
    EXPECT_FALSE(App().memory_loaded);
  }
}

// The stop must never wait for the UI thread, and once it returns the poll
// must no longer touch the port. Real time, random phases, many rounds.
TEST_F(ResetWatch, StoppingAPollNeverDeadlocksAndFreesThePort) {
  SystemClock real;
  SimPort port(&device_, &real);
  ASSERT_TRUE(port.Open("COM1"));
  ExclusivityPort guard(&port);
  MarshallingWindow ui(window_);
  App().port = &guard;
  App().clock = &real;
  App().trace = nullptr;

  std::mt19937 rng(7);
  int stopped_mid_poll = 0;
  for (int round = 0; round < 60; ++round) {
    if (round % 2 == 0) device_.SendReset(real.NowUs() + rng() % 20'000);
    OnTimerTick(ctl::kResetPollTimer);
    // Up to 120 ms: the stop lands before, during and after the poll's port
    // work, and sometimes while its status write waits for this thread.
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 120'000));
    if (ResetPollRunning()) ++stopped_mid_poll;
    auto stop = std::async(std::launch::async, [] { StopResetPoll(); });
    if (stop.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
      ADD_FAILURE() << "the stop waited for the UI thread in round " << round;
      while (stop.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) ui.Pump();
      break;
    }
    // Now the port is ours, as a worker's or a connection's would be.
    uint8_t b[4];
    uint32_t n = 0;
    guard.Purge();
    guard.Read(b, 1, &n);
    while (ResetPollRunning()) {
      ui.Pump();
      std::this_thread::yield();
    }
    ui.Pump();
    port.Purge();
  }
  EXPECT_FALSE(guard.overlapped);
  EXPECT_GT(stopped_mid_poll, 10);
  App().clock = &clock_;
}

}  // namespace
}  // namespace zvp::test
