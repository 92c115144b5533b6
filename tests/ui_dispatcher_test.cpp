// The window's commands through the dispatcher and its guards, the start-up
// state and the stored settings, on the headless window model with the
// virtual programmer in virtual time.
#include <cstring>
#include <map>

#include "core/app_state.h"
#include "link/connection.h"
#include "engine/engine.h"
#include "core/settings_store.h"
#include "sim/sim_port.h"
#include "sim/virtual_clock.h"
#include "sim/virtual_programmer.h"
#include "ui/control_ids.h"
#include "ui/dispatcher.h"
#include "ui/headless_window.h"
#include "ui/port_choice.h"
#include "ui/window_events.h"
#include "ui/settings.h"
#include "ui/start_up.h"
#include <gtest/gtest.h>

namespace zvp {
namespace {

// Values as raw bytes, the way the registry hands them back.
class MemoryStore final : public SettingsStore {
 public:
  bool OpenForReading() override { return exists; }
  bool OpenForWriting() override { return exists = true; }
  void Close() override {}
  std::optional<std::string> ReadBytes(const std::string& name, size_t max_bytes) override {
    auto it = values.find(name);
    if (it == values.end() || it->second.size() > max_bytes) return std::nullopt;
    return it->second;
  }
  bool WriteString(const std::string& name, const std::string& text) override {
    values[name] = text + '\0';
    return true;
  }
  bool WriteDword(const std::string& name, uint32_t v) override {
    values[name] = std::string{static_cast<char>(v), static_cast<char>(v >> 8),
                               static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    return true;
  }
  uint32_t Dword(const std::string& name) {
    const std::string& s = values.at(name);
    uint32_t v = 0;
    std::memcpy(&v, s.data(), 4);
    return v;
  }
  bool exists = false;
  std::map<std::string, std::string> values;
};

class Window : public ::testing::Test {
 protected:
  Window() : port_(&device_, &clock_) {}
  void SetUp() override {
    ResetAppState();
    AppState& app = App();
    app.port = &port_;
    app.clock = &clock_;
    InstallWindow(&window_);
    app.settings = &store_;
    window_.ResetToCreatedState();
  }
  void TearDown() override {
    WaitForWorkers();
    WaitForResetPoll();
    AppState& app = App();
    app.port = nullptr;
    app.clock = nullptr;
    InstallWindow(nullptr);
    app.settings = nullptr;
  }
  void Start() { InitialiseMainWindow(); }
  // Clicks and returns whether an operation started.
  bool ClickStarts(int id) {
    const uint64_t before = WorkersStarted();
    window_.Click(id);
    WaitForWorkers();
    return WorkersStarted() != before;
  }

  VirtualClock clock_;
  VirtualProgrammer device_;
  SimPort port_;
  HeadlessWindow window_;
  MemoryStore store_;
};

TEST_F(Window, FirstStartLooksAsANewUserExpects) {
  App().code_buffer[5] = 0;
  Start();
  HeadlessWindow& w = window_;
  EXPECT_EQ(w.GetText(ctl::kStartAddress, 10), "0000");
  EXPECT_EQ(w.GetText(ctl::kEndAddress, 10), "1FFF");
  EXPECT_EQ(w.GetText(ctl::kPassBox, 10), "00000");
  EXPECT_EQ(w.GetText(ctl::kFailBox, 10), "00000");
  EXPECT_FALSE(w.IsEnabled(ctl::kVddBox));
  EXPECT_FALSE(w.IsEnabled(ctl::kVppBox));
  EXPECT_FALSE(w.IsChecked(ctl::kDebugMode));
  EXPECT_EQ(App().code_buffer[5], 0xFF);
  EXPECT_TRUE(w.IsChecked(ctl::kChipMtp));
  EXPECT_TRUE(w.IsChecked(ctl::kVdd50));
  EXPECT_EQ(w.GetText(ctl::kVppBox, 10), "VCC");
  EXPECT_EQ(w.GetText(ctl::kVddBox, 10), "5.0");
  for (int id : {ctl::kAutoReadProtect, ctl::kAutoHwWriteProtect, ctl::kEnableSmart,
                 ctl::kAutoVerify, ctl::kEraseBeforeProgram, ctl::kBuzzer, ctl::kShowCounters})
    EXPECT_TRUE(w.IsChecked(id)) << id;
  EXPECT_FALSE(w.IsChecked(ctl::kAutoBlankCheck));
  EXPECT_FALSE(w.IsChecked(ctl::kAutoLdcProtect));
  EXPECT_EQ(App().option_flags, 0x79u);
  EXPECT_EQ(App().function_flags, 0x21u);
  EXPECT_EQ(App().count_flags, 0x11u);
  EXPECT_EQ(w.WindowRegion().height, 700);
  EXPECT_EQ(w.Status(), "请点击相应的COM端口以启动编程器连接");
  EXPECT_EQ(w.ArmedTimers().at(ctl::kResetPollTimer), 1000u);
  for (int id : {ctl::kViewGroup, ctl::kViewList, ctl::kBack}) EXPECT_FALSE(w.IsVisible(id));
  EXPECT_EQ(App().checksum_end, 0x1FFFu);
  EXPECT_EQ(SelectedPort(), 0);
  EXPECT_TRUE(device_.headers().empty());  // no port saved: nothing connected
}

TEST_F(Window, SavedChoicesComeBackAndTheSavedPortIsConnected) {
  store_.exists = true;
  store_.WriteString("com", "com3");
  store_.WriteDword("auto", 0x04);
  store_.WriteDword("autofunc", 0x02 | 0x20);
  store_.WriteString("chip", "sotp");
  store_.WriteString("Vpp", "12.0V");
  Start();
  EXPECT_TRUE(window_.IsChecked(ctl::kCom3));
  EXPECT_EQ(window_.Status(), "OK, 已检测到 ZVP-V2.0C 连接在端口 COM3");
  EXPECT_EQ(device_.headers().size(), 1u);
  EXPECT_TRUE(window_.IsChecked(ctl::kAutoBlankCheck));
  EXPECT_TRUE(window_.IsChecked(ctl::kAutoReadProtect));  // ticked at every start
  EXPECT_FALSE(window_.IsChecked(ctl::kAutoHwWriteProtect));
  EXPECT_EQ(App().function_flags & fn::kCountingPaused, 0u);  // never paused at start
  EXPECT_TRUE(window_.IsChecked(ctl::kChipOtp));
  EXPECT_FALSE(window_.IsEnabled(ctl::kVdd33));
  EXPECT_TRUE(window_.IsChecked(ctl::kVpp12));
  EXPECT_EQ(window_.GetText(ctl::kVppBox, 10), "12.0");
}

TEST_F(Window, UnusableSavedValuesTakeTheirDefaults) {
  store_.exists = true;
  store_.WriteString("chip", "SOTP");      // case matters
  store_.WriteString("com", "com0");
  store_.values["Vdd"] = "3.3V and more";  // longer than the 8-byte buffer
  store_.WriteDword("autofunc", 0x08);     // forced protection ticks hardware protection
  Start();
  EXPECT_TRUE(window_.IsChecked(ctl::kChipMtp));
  EXPECT_EQ(SelectedPort(), 0);
  EXPECT_TRUE(device_.headers().empty());
  EXPECT_TRUE(window_.IsChecked(ctl::kVdd50));
  EXPECT_TRUE(window_.IsChecked(ctl::kAutoHwWriteProtect));
}

TEST_F(Window, ExitStoresTheChoices) {
  Start();
  window_.Click(ctl::kCom2);
  window_.Click(ctl::kChipOtp);
  window_.Click(ctl::kVpp12);
  SaveSettings();
  EXPECT_EQ(store_.values["com"], std::string("com2") + '\0');
  EXPECT_EQ(store_.values["chip"], std::string("sotp") + '\0');
  EXPECT_EQ(store_.values["Vdd"], std::string("5.0V") + '\0');
  EXPECT_EQ(store_.values["Vpp"], std::string("12.0V") + '\0');
  EXPECT_EQ(store_.values["data"], std::string("sam") + '\0');
  // The MTP-only boxes are greyed for OTP and drop out of the stored options.
  EXPECT_EQ(store_.Dword("auto"), opt::kReadProtect | opt::kVerify);
  EXPECT_EQ(store_.Dword("autofunc"), 0x21u);
}

TEST_F(Window, BusyIgnoresOnlyThePortOperationFileAndViewGroups) {
  Start();
  window_.Click(ctl::kCom1);
  App().busy = true;
  for (int id : {ctl::kBlankCheck, ctl::kOpenFile, ctl::kPrevPage}) EXPECT_FALSE(ClickStarts(id));
  const size_t headers = device_.headers().size();
  window_.Click(ctl::kCom2);
  EXPECT_EQ(device_.headers().size(), headers);  // no connection attempt
  window_.Click(ctl::kVdd33);
  EXPECT_EQ(window_.GetText(ctl::kVddBox, 10), "3.3");
  window_.Click(ctl::kQuit);
  EXPECT_EQ(window_.CloseRequests(), 1);
  App().busy = false;
}

TEST_F(Window, GuardsRefuseWhatCannotWorkYet) {
  Start();
  window_.Click(ctl::kCom1);
  // Auto program with a changed end address: message R, even with no code.
  window_.SetText(ctl::kEndAddress, "0FFF");
  EXPECT_FALSE(ClickStarts(ctl::kAutoProgram));
  ASSERT_FALSE(window_.Messages().empty());
  EXPECT_EQ(window_.Messages().back().caption, "提 示");
  EXPECT_EQ(App().range_end, 0x0FFFu);  // the range was read before the refusal
  // Same range as the last checksum, but nothing loaded: message W.
  window_.SetText(ctl::kEndAddress, "1FFF");
  EXPECT_FALSE(ClickStarts(ctl::kAutoProgram));
  EXPECT_EQ(window_.Messages().back().caption, "警 告");
  for (int id : {ctl::kVerifyChip, ctl::kBufferChecksum, ctl::kOfflineMaster}) {
    const size_t boxes = window_.Messages().size();
    EXPECT_FALSE(ClickStarts(id));
    EXPECT_EQ(window_.Messages().size(), boxes + 1);
    EXPECT_EQ(window_.Messages().back().text,
              "编程内存中无代码调入,请打开相关的\n代码文件以调入编程代码!");
  }
  // Chip checksum and blank check need no code in the programmer memory.
  EXPECT_TRUE(ClickStarts(ctl::kChipChecksum));
  EXPECT_TRUE(ClickStarts(ctl::kBlankCheck));
  // With code loaded and the range checked, auto program starts.
  App().memory_loaded = true;
  EXPECT_TRUE(ClickStarts(ctl::kAutoProgram));

  // A box that holds no address (a paste put "1FFFh" there): nothing starts
  // and the red status says why. Before, the stale range went out, inverted.
  App().range_start = 0x10;
  App().range_end = 0x20;
  window_.SetText(ctl::kEndAddress, "1FFFh");
  const size_t headers = device_.headers().size();
  for (int id : {ctl::kAutoProgram, ctl::kBlankCheck, ctl::kChipChecksum, ctl::kVerifyChip,
                 ctl::kCopyChip, ctl::kSaveHex}) {
    App().link_fault = false;
    EXPECT_FALSE(ClickStarts(id)) << id;
    EXPECT_EQ(window_.Status(), "编程地址设置错误!请输入0000~7FFF之间的十六进制地址") << id;
    EXPECT_TRUE(App().link_fault) << id;
  }
  EXPECT_EQ(device_.headers().size(), headers);
  EXPECT_EQ(App().range_start, 0x10u);
  EXPECT_EQ(App().range_end, 0x20u);

  // The memory's warnings come before the range is read, and a memory
  // edited by hand is refused before its code is looked for: with the bad
  // box still there, each button says only its own first reason.
  const char kSaveFirst[] = "编程内存代码已被重写,请先将内存代码保存\n为HEX文件然后重新加载,再执行本操作!";
  const char kNoCode[] = "编程内存中无代码调入,请打开相关的\n代码文件以调入编程代码!";
  struct Case {
    int id;
    bool loaded, edited;
    const char* box;
  };
  for (const Case& c : {Case{ctl::kVerifyChip, false, true, kNoCode},
                        Case{ctl::kBufferChecksum, false, true, kSaveFirst},
                        Case{ctl::kOfflineMaster, false, true, kSaveFirst},
                        Case{ctl::kBufferChecksum, false, false, kNoCode},
                        Case{ctl::kOfflineMaster, false, false, kNoCode}}) {
    App().memory_loaded = c.loaded;
    App().memory_edited = c.edited;
    App().link_fault = false;
    window_.SetStatus("");
    const size_t boxes = window_.Messages().size();
    EXPECT_FALSE(ClickStarts(c.id)) << c.id;
    ASSERT_EQ(window_.Messages().size(), boxes + 1) << c.id;
    EXPECT_EQ(window_.Messages().back().text, c.box) << c.id;
    EXPECT_EQ(window_.Status(), "") << c.id;  // the range was never read
    EXPECT_FALSE(App().link_fault) << c.id;
  }
  // Loaded and edited, verify reads the range next and refuses it.
  App().memory_loaded = true;
  const size_t boxes = window_.Messages().size();
  EXPECT_FALSE(ClickStarts(ctl::kVerifyChip));
  EXPECT_EQ(window_.Messages().size(), boxes);
  EXPECT_EQ(window_.Status(), "编程地址设置错误!请输入0000~7FFF之间的十六进制地址");
  EXPECT_EQ(device_.headers().size(), headers);
}

// A programmer found again on its port may be another one, or one that
// restarted unheard: its memory is not trusted until a new download. Before,
// a fresh programmer with an empty memory was auto-programmed from and the
// chip counted as passed.
TEST_F(Window, AReconnectedProgrammerIsNotTrustedWithTheCode) {
  Start();
  window_.Click(ctl::kCom1);
  App().memory_loaded = true;
  window_.SetText(ctl::kChecksumBox, "1234");
  window_.Click(ctl::kCom1);
  EXPECT_TRUE(App().programmer_found);
  EXPECT_FALSE(App().memory_loaded);
  EXPECT_EQ(window_.GetText(ctl::kChecksumBox, 10), "XXXX");
  EXPECT_FALSE(ClickStarts(ctl::kAutoProgram));
  EXPECT_EQ(window_.Messages().back().text,
            "编程内存中无代码调入,请打开相关的\n代码文件以调入编程代码!");

  // So is one lost in the middle of an operation.
  App().memory_loaded = true;
  device_.faults().silent = true;
  EXPECT_TRUE(ClickStarts(ctl::kBlankCheck));
  EXPECT_EQ(window_.Status(), "编程器连接错误,编程器可能正忙,请稍候再试!");
  EXPECT_FALSE(App().memory_loaded);
}

// Closing while an operation runs asks first; No keeps working, Yes stops
// the transfer as the double-click on the status line does and closes once
// the operation has ended.
TEST_F(Window, ClosingDuringAnOperationAsksFirst) {
  Start();
  EXPECT_EQ(OnCloseRequested(), CloseAnswer::kClose);
  EXPECT_TRUE(window_.Messages().empty());
  App().busy = true;
  HeadlessWindow::Observers answer_no;
  answer_no.message_box = [](const MessageBox&) { return MsgAnswer::kNo; };
  window_.SetObservers(answer_no);
  EXPECT_EQ(OnCloseRequested(), CloseAnswer::kStayOpen);
  EXPECT_FALSE(App().user_abort);
  ASSERT_EQ(window_.Messages().size(), 1u);
  EXPECT_EQ(window_.Messages().back().buttons, MsgButtons::kYesNo);
  EXPECT_TRUE(window_.Messages().back().default_is_second);
  window_.SetObservers({});  // the first button: Yes
  EXPECT_EQ(OnCloseRequested(), CloseAnswer::kCloseWhenIdle);
  EXPECT_TRUE(App().user_abort);
  App().busy = false;
}

TEST_F(Window, ChipTypeGreysTheMtpOnlyControls) {
  Start();
  window_.Click(ctl::kVdd33);
  window_.Click(ctl::kChipOtp);
  const int mtp_only[] = {ctl::kAutoLdcProtect, ctl::kAutoHwWriteProtect, ctl::kEnableSmart,
                          ctl::kEraseBeforeProgram, ctl::kEraseMtp, ctl::kHwWriteProtect,
                          ctl::kLdcProtect, ctl::kVdd33};
  for (int id : mtp_only) EXPECT_FALSE(window_.IsEnabled(id)) << id;
  EXPECT_TRUE(window_.IsChecked(ctl::kVdd50));
  EXPECT_FALSE(window_.IsChecked(ctl::kVdd33));
  EXPECT_EQ(window_.GetText(ctl::kVddBox, 10), "5.0");
  window_.Click(ctl::kChipMtp);
  for (int id : mtp_only) EXPECT_TRUE(window_.IsEnabled(id)) << id;
  EXPECT_TRUE(window_.IsChecked(ctl::kVdd50));  // the voltage stays as it was
}

TEST_F(Window, CodeViewSwapsPanelsAndBackRestoresThem) {
  Start();
  window_.Click(ctl::kCom1);
  EXPECT_TRUE(ClickStarts(ctl::kShowMemory));
  EXPECT_TRUE(window_.IsVisible(ctl::kViewList));
  EXPECT_FALSE(window_.IsVisible(ctl::kBlankCheck));  // inside a hidden group
  EXPECT_TRUE(window_.IsChecked(ctl::kViewMemory));
  EXPECT_EQ(window_.GetText(ctl::kViewAddress, 10), "00000");
  window_.Click(ctl::kBack);
  EXPECT_FALSE(window_.IsVisible(ctl::kViewList));
  EXPECT_TRUE(window_.IsVisible(ctl::kBlankCheck));
  EXPECT_EQ(window_.Status(), "请选择编程操作");
}

TEST_F(Window, AFailedConnectionTurnsRedAndTheNextTickListens) {
  device_.faults().silent = true;  // switched off or busy
  Start();
  window_.Click(ctl::kCom3);
  EXPECT_EQ(window_.Status(), "编程器连接错误,编程器可能正忙,请稍候再试!");
  EXPECT_TRUE(App().link_fault);
  EXPECT_FALSE(App().programmer_found);
  EXPECT_TRUE(window_.IsChecked(ctl::kCom3));
  EXPECT_EQ(window_.ArmedTimers().count(ctl::kReconnectTimer), 1u);
  // The programmer comes back and announces itself; the next tick hears it.
  device_.faults().silent = false;
  device_.SendReset(clock_.NowUs());
  OnTimerTick(ctl::kReconnectTimer);
  WaitForResetPoll();
  EXPECT_TRUE(App().programmer_found);
  EXPECT_EQ(window_.Status(),
            "OK,检测到 ZVP-V2.0C 已复位!请点击[下载文件代码]按钮以刷新编程器内存代码");
}

TEST_F(Window, CountersClearOnlyWhenConfirmedAndPauseGreysTheBoxes) {
  Start();
  App().pass_count = 41;
  window_.SetText(ctl::kPassBox, "000041");
  HeadlessWindow::Observers o;
  MsgAnswer answer = MsgAnswer::kCancel;
  o.message_box = [&](const MessageBox&) { return answer; };
  window_.SetObservers(o);
  window_.Click(ctl::kClearCounts);
  EXPECT_EQ(App().pass_count, 41u);
  answer = MsgAnswer::kOk;
  window_.Click(ctl::kClearCounts);
  EXPECT_EQ(App().pass_count, 0u);
  EXPECT_EQ(window_.GetText(ctl::kPassBox, 10), "00000");

  window_.Click(ctl::kPauseCounting);
  EXPECT_EQ(window_.GetText(ctl::kPauseCounting, 20), "开始计数");
  EXPECT_FALSE(window_.IsEnabled(ctl::kPassBox));
  EXPECT_NE(App().function_flags & fn::kCountingPaused, 0u);
  window_.Click(ctl::kPauseCounting);
  EXPECT_EQ(window_.GetText(ctl::kPauseCounting, 20), "暂停计数");
  EXPECT_TRUE(window_.IsEnabled(ctl::kFailBox));
}

TEST_F(Window, CounterSettingsTakeTheLastSixDigitsAndResumeCounting) {
  Start();
  App().count_flags = 0x11 | 0x40;  // bit 6 is not carried through the dialog
  window_.Click(ctl::kPauseCounting);
  std::vector<CounterDialog> shown;
  CounterDialog answer{"1234567", "7", 0x05};
  HeadlessWindow::Observers o;
  o.counter_dialog = [&](CounterDialog* d) {
    shown.push_back(*d);
    *d = answer;
    return true;
  };
  window_.SetObservers(o);
  window_.Click(ctl::kCounterSettings);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].pass_text, "00000");
  EXPECT_EQ(shown[0].flags, 0x11u);
  EXPECT_EQ(App().pass_count, 234567u);
  EXPECT_EQ(window_.GetText(ctl::kPassBox, 10), "234567");
  EXPECT_EQ(App().fail_count, 7u);
  EXPECT_EQ(window_.GetText(ctl::kFailBox, 10), "000007");
  EXPECT_EQ(App().count_flags, 0x05u);
  EXPECT_EQ(App().function_flags & fn::kCountingPaused, 0u);
  EXPECT_EQ(window_.GetText(ctl::kPauseCounting, 20), "暂停计数");
  EXPECT_TRUE(window_.IsEnabled(ctl::kPassBox));

  // Cancel changes nothing; an empty value counts as 0.
  o.counter_dialog = [](CounterDialog*) { return false; };
  window_.SetObservers(o);
  window_.Click(ctl::kCounterSettings);
  EXPECT_EQ(App().pass_count, 234567u);
  answer = {"", "", 0};
  o.counter_dialog = [&](CounterDialog* d) {
    *d = answer;
    return true;
  };
  window_.SetObservers(o);
  window_.Click(ctl::kCounterSettings);
  EXPECT_EQ(App().pass_count, 0u);
  EXPECT_EQ(window_.GetText(ctl::kPassBox, 10), "000000");
  EXPECT_EQ(App().count_flags, 0u);
}

TEST_F(Window, ShowCountersAndBuzzerFollowTheirBoxes) {
  Start();
  window_.Click(ctl::kShowCounters);
  EXPECT_EQ(window_.WindowRegion().height, 440);
  window_.Click(ctl::kShowCounters);
  EXPECT_EQ(window_.WindowRegion().height, 700);
  window_.Click(ctl::kBuzzer);  // ticked at start: now off
  EXPECT_EQ(App().function_flags & fn::kBuzzer, 0u);
  window_.Click(ctl::kBuzzer);
  EXPECT_NE(App().function_flags & fn::kBuzzer, 0u);
}

// --- ports beyond the four buttons ------------------------------------------

TEST(PortNames, OnlyComOneToTwoHundredFiftySixInAnyCase) {
  for (const auto& [text, number] : std::vector<std::pair<std::string, int>>{
           {"COM1", 1}, {"com7", 7}, {"Com12", 12}, {" COM7 ", 7}, {"\tcom256", 256}, {"COM99", 99},
           // as typed by hand, copied from elsewhere, or with a full-width input method
           {"COM 7", 7}, {"\\\\.\\COM7", 7}, {"\\\\.\\com12", 12}, {"COM7:", 7},
           {"COM\xef\xbc\x97", 7}, {"\xef\xbc\xa3\xef\xbc\xaf\xef\xbc\xad\xef\xbc\x91\xef\xbc\x92", 12},
           {"\xe3\x80\x80" "com5" "\xe3\x80\x80", 5}}) {
    EXPECT_EQ(ParsePortNumber(text), number) << text;
  }
  for (const char* text : {"", "COM", "COM0", "COM00", "COM07", "COM257", "COM1000", "COM7x",
                           "COM-1", "LPT1", "7", "CON7", "C OM7", "COM7::", ":COM7", "\\\\?\\COM7",
                           "\\\\.\\LPT1", "\\.\\COM7", "COM\xef\xbc\x90", "COM\xef\xbd\x97"}) {
    EXPECT_EQ(ParsePortNumber(text), std::nullopt) << text;
  }
  EXPECT_EQ(NotAPortText("COMX"),
            "\"COMX\" 不是串口名称!请输入 COM1 到 COM256 之间的端口, 例如 COM7");
  EXPECT_EQ(NotAPortText(" "), "请输入 COM1 到 COM256 之间的端口, 例如 COM7");

  // The stored value is read exactly, as the window's other texts are.
  EXPECT_EQ(StoredPortText(7), "com7");
  EXPECT_EQ(StoredPortText(0), "com0");
  EXPECT_EQ(PortOfStoredText("com7"), 7);
  EXPECT_EQ(PortOfStoredText("com256"), 256);
  for (const char* text : {"com0", "COM7", "com07", "com257", "com7 ", "com"})
    EXPECT_EQ(PortOfStoredText(text), std::nullopt) << text;

  EXPECT_EQ(SettingsKeyFor(0), "Software\\zelvatool");
  EXPECT_EQ(SettingsKeyFor(5), "Software\\zelvatool\\COM5");
}

TEST(PortNames, StartOptionsTieAWindowToOnePort) {
  using Args = std::vector<std::string>;
  StartOptions o = ParseStartOptions({});
  EXPECT_FALSE(o.simulate);
  EXPECT_EQ(o.port, 0);
  EXPECT_TRUE(o.error.empty());
  o = ParseStartOptions(Args{"--port", "com5", "--simulate"});
  EXPECT_TRUE(o.simulate);
  EXPECT_EQ(o.port, 5);
  EXPECT_TRUE(o.error.empty());
  EXPECT_EQ(ParseStartOptions(Args{"--port", "COM5", "--port", "COM5"}).port, 5);
  EXPECT_EQ(ParseStartOptions(Args{"--port=com12"}).port, 12);
  EXPECT_EQ(ParseStartOptions(Args{"--port="}).error,
            "启动参数 --port 请输入 COM1 到 COM256 之间的端口, 例如 COM7");
  EXPECT_TRUE(ParseStartOptions(Args{"/unknown", "x"}).error.empty());  // ignored, as always
  EXPECT_EQ(ParseStartOptions(Args{"--port"}).error, "启动参数 --port 后缺少端口名, 例如 --port COM5");
  EXPECT_EQ(ParseStartOptions(Args{"--port", "COM0"}).error,
            "启动参数 --port \"COM0\" 不是串口名称!请输入 COM1 到 COM256 之间的端口, 例如 COM7");
  EXPECT_EQ(ParseStartOptions(Args{"--port", "COM5", "--port", "COM6"}).error,
            "启动参数 --port 只能给出一个端口");
}

class OtherPort : public Window {
 protected:
  void SetUp() override {
    Window::SetUp();
    port_.SetAvailableNames({"COM1", "COM2", "COM3", "COM4", "COM5", "COM7", "COM256"});
    HeadlessWindow::Observers o;
    o.port_dialog = [this](const std::string& current) {
      shown_.push_back(current);
      return answer_;
    };
    window_.SetObservers(o);
  }
  void TearDown() override {
    App().start_port = 0;
    Window::TearDown();
  }
  bool NoButtonTicked() {
    for (int id = ctl::kCom1; id <= ctl::kCom4; ++id)
      if (window_.IsChecked(id)) return false;
    return true;
  }
  std::string Stored(const std::string& name) { return store_.values[name]; }

  std::optional<std::string> answer_;
  std::vector<std::string> shown_;  // what each dialog was started with
};

TEST_F(OtherPort, ChosenInTheDialogItConnectsAsAButtonWouldAndTheGroupNamesIt) {
  Start();
  answer_ = "COM7";
  ChooseOtherPort();
  EXPECT_EQ(shown_, std::vector<std::string>{""});
  EXPECT_EQ(window_.Status(), "OK, 已检测到 ZVP-V2.0C 连接在端口 COM7");
  EXPECT_EQ(device_.headers().size(), 1u);
  EXPECT_TRUE(NoButtonTicked());
  EXPECT_EQ(window_.GetText(ctl::kPortGroup, 20), "端口 COM7");
  EXPECT_EQ(PortInUse(), "COM7");  // the production log's port
  SaveSettings();
  EXPECT_EQ(Stored("com"), std::string("com7") + '\0');

  // The dialog starts from the port in use; Cancel changes nothing.
  answer_.reset();
  ChooseOtherPort();
  EXPECT_EQ(shown_.back(), "COM7");
  EXPECT_EQ(device_.headers().size(), 1u);
  EXPECT_EQ(PortInUse(), "COM7");

  // A button takes the window back to the four.
  window_.Click(ctl::kCom2);
  EXPECT_EQ(window_.GetText(ctl::kPortGroup, 20), "端口");
  EXPECT_EQ(PortInUse(), "COM2");
  SaveSettings();
  EXPECT_EQ(Stored("com"), std::string("com2") + '\0');

  // One of the four chosen in the dialog is that button.
  answer_ = "com3";
  ChooseOtherPort();
  EXPECT_EQ(shown_.back(), "COM2");
  EXPECT_TRUE(window_.IsChecked(ctl::kCom3));
  EXPECT_FALSE(window_.IsChecked(ctl::kCom2));
  EXPECT_EQ(window_.GetText(ctl::kPortGroup, 20), "端口");
  EXPECT_EQ(window_.Status(), "OK, 已检测到 ZVP-V2.0C 连接在端口 COM3");

  // A port that does not answer stays chosen, as a button does.
  answer_ = "COM5";
  device_.faults().silent = true;
  ChooseOtherPort();
  EXPECT_EQ(window_.Status(), "编程器连接错误,编程器可能正忙,请稍候再试!");
  EXPECT_EQ(window_.GetText(ctl::kPortGroup, 20), "端口 COM5");
  EXPECT_TRUE(NoButtonTicked());
  EXPECT_EQ(window_.ArmedTimers().count(ctl::kReconnectTimer), 1u);
}

TEST_F(OtherPort, TheDialogFollowsThePortButtonsGuards) {
  Start();
  window_.Click(ctl::kCom1);
  const size_t headers = device_.headers().size();
  answer_ = "COM7";
  App().busy = true;
  ChooseOtherPort();
  EXPECT_TRUE(shown_.empty());  // not even opened while an operation runs
  App().busy = false;
  // An operation that started while the dialog was open keeps the port.
  HeadlessWindow::Observers o;
  o.port_dialog = [this](const std::string& current) {
    shown_.push_back(current);
    App().busy = true;
    return std::optional<std::string>("COM7");
  };
  window_.SetObservers(o);
  ChooseOtherPort();
  EXPECT_EQ(shown_, std::vector<std::string>{"COM1"});
  EXPECT_EQ(device_.headers().size(), headers);
  App().busy = false;
  o.port_dialog = [this](const std::string&) { return answer_; };
  window_.SetObservers(o);
  answer_ = "COM0";  // a name the dialog would not have let through
  ChooseOtherPort();
  EXPECT_EQ(device_.headers().size(), headers);
  EXPECT_TRUE(window_.IsChecked(ctl::kCom1));
  EXPECT_EQ(window_.GetText(ctl::kPortGroup, 20), "端口");
}

TEST_F(OtherPort, TheStoredPortComesBackAtTheNextStart) {
  store_.exists = true;
  store_.WriteString("com", "com256");
  Start();
  EXPECT_EQ(window_.Status(), "OK, 已检测到 ZVP-V2.0C 连接在端口 COM256");
  EXPECT_TRUE(NoButtonTicked());
  EXPECT_EQ(window_.GetText(ctl::kPortGroup, 20), "端口 COM256");

  // Texts that are no stored port connect nothing.
  for (const char* text : {"com07", "COM7", "com257"}) {
    window_.ResetToCreatedState();
    store_.WriteString("com", text);
    const size_t headers = device_.headers().size();
    Start();
    EXPECT_EQ(device_.headers().size(), headers) << text;
    EXPECT_EQ(window_.Status(), "请点击相应的COM端口以启动编程器连接") << text;
    EXPECT_EQ(window_.GetText(ctl::kPortGroup, 20), "端口") << text;
  }
}

// A window started for a port (--port) connects it whatever its key stored.
TEST_F(OtherPort, AWindowStartedForAPortConnectsThatPort) {
  store_.exists = true;
  store_.WriteString("com", "com2");
  App().start_port = 5;
  Start();
  EXPECT_EQ(window_.Status(), "OK, 已检测到 ZVP-V2.0C 连接在端口 COM5");
  EXPECT_EQ(window_.GetText(ctl::kPortGroup, 20), "端口 COM5");
  EXPECT_TRUE(NoButtonTicked());
  SaveSettings();
  EXPECT_EQ(Stored("com"), std::string("com5") + '\0');

  window_.ResetToCreatedState();
  App().start_port = 3;
  Start();
  EXPECT_TRUE(window_.IsChecked(ctl::kCom3));
  EXPECT_EQ(window_.GetText(ctl::kPortGroup, 20), "端口");
  EXPECT_EQ(window_.Status(), "OK, 已检测到 ZVP-V2.0C 连接在端口 COM3");
}

}  // namespace
}  // namespace zvp
