#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/app_state.h"
#include "ui/control_ids.h"
#include "ui/control_table.h"
#include "ui/headless_window.h"

namespace zvp {
namespace {

// The window installed as the core's surface, with no port chosen: a command
// that would start an operation only puts the "choose a port" request on the
// status line, which is how these tests see that a command went out.
class HeadlessWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetAppState();
    InstallWindow(&window_);
    HeadlessWindow::Observers observers;
    observers.status_changed = [this](const std::string&) { ++status_writes_; };
    window_.SetObservers(std::move(observers));
  }
  void TearDown() override {
    InstallWindow(nullptr);
    ResetAppState();
  }

  HeadlessWindow window_;
  std::atomic<int> status_writes_{0};
};

TEST_F(HeadlessWindowTest, RadioButtonsGroupByParent) {
  App().busy = true;  // keeps the port radios from connecting
  EXPECT_TRUE(window_.Click(ctl::kCom1));
  EXPECT_TRUE(window_.Click(ctl::kChipMtp));
  EXPECT_TRUE(window_.Click(ctl::kCom2));
  EXPECT_FALSE(window_.IsChecked(ctl::kCom1));
  EXPECT_TRUE(window_.IsChecked(ctl::kCom2));
  EXPECT_TRUE(window_.IsChecked(ctl::kChipMtp));

  // A second click on a ticked radio keeps it ticked and still sends.
  EXPECT_TRUE(window_.Click(ctl::kVpp12));
  window_.SetText(ctl::kVppBox, "");
  EXPECT_TRUE(window_.Click(ctl::kVpp12));
  EXPECT_TRUE(window_.IsChecked(ctl::kVpp12));
  EXPECT_EQ(window_.GetText(ctl::kVppBox, 16), "12.0");
  EXPECT_TRUE(window_.IsChecked(ctl::kCom2));
}

TEST_F(HeadlessWindowTest, CheckBoxesToggleOnClickButNotOnEnter) {
  // The command sees the new state: the region follows the box.
  EXPECT_TRUE(window_.Click(ctl::kShowCounters));
  EXPECT_TRUE(window_.IsChecked(ctl::kShowCounters));
  EXPECT_EQ(window_.WindowRegion().height, 700);
  EXPECT_TRUE(window_.Click(ctl::kShowCounters));
  EXPECT_FALSE(window_.IsChecked(ctl::kShowCounters));
  EXPECT_EQ(window_.WindowRegion().height, 440);

  window_.SetWindowRegion(1, 1);
  EXPECT_TRUE(window_.PressEnter(ctl::kShowCounters));
  EXPECT_FALSE(window_.IsChecked(ctl::kShowCounters));
  EXPECT_EQ(window_.WindowRegion().height, 440);

  EXPECT_TRUE(window_.Click(ctl::kBuzzer));
  EXPECT_TRUE(App().function_flags & fn::kBuzzer);
  EXPECT_TRUE(window_.PressEnter(ctl::kBuzzer));
  EXPECT_TRUE(window_.IsChecked(ctl::kBuzzer));
  EXPECT_TRUE(App().function_flags & fn::kBuzzer);

  // Enter on a radio button does not take the tick either.
  App().busy = true;
  EXPECT_TRUE(window_.PressEnter(ctl::kCom3));
  EXPECT_FALSE(window_.IsChecked(ctl::kCom3));
}

TEST_F(HeadlessWindowTest, CommandsCarryTheControlsParent) {
  // While busy the dispatcher drops code-view commands (parent 158) but not
  // the quit button on the main window (parent 0).
  window_.SetVisible(ctl::kViewGroup, true);
  App().busy = true;
  EXPECT_TRUE(window_.Click(ctl::kPrevPage));
  EXPECT_EQ(status_writes_, 0);
  EXPECT_TRUE(window_.Click(ctl::kQuit));
  EXPECT_EQ(window_.CloseRequests(), 1);

  App().busy = false;
  EXPECT_TRUE(window_.Click(ctl::kPrevPage));
  EXPECT_EQ(status_writes_, 1);
}

TEST_F(HeadlessWindowTest, DisabledAndHiddenControlsIgnoreClicks) {
  window_.SetEnabled(ctl::kVdd33, false);
  EXPECT_FALSE(window_.Click(ctl::kVdd33));
  EXPECT_FALSE(window_.IsChecked(ctl::kVdd33));
  EXPECT_FALSE(window_.PressEnter(ctl::kVdd33));
  EXPECT_EQ(window_.GetText(ctl::kVddBox, 16), "");

  // Enabled itself, but inside a hidden group.
  window_.SetEnabled(ctl::kVdd33, true);
  window_.SetVisible(ctl::kVccGroup, false);
  EXPECT_FALSE(window_.Click(ctl::kVdd33));
  EXPECT_FALSE(window_.IsChecked(ctl::kVdd33));
  EXPECT_EQ(window_.GetText(ctl::kVddBox, 16), "");
  window_.SetVisible(ctl::kVccGroup, true);
  EXPECT_TRUE(window_.Click(ctl::kVdd33));
  EXPECT_EQ(window_.GetText(ctl::kVddBox, 16), "3.3");

  // "返 回" and the whole code view start hidden.
  EXPECT_FALSE(window_.Click(ctl::kBack));
  EXPECT_FALSE(window_.Click(ctl::kNextPage));
  EXPECT_EQ(status_writes_, 0);

  // Clicks on things that are not buttons send nothing.
  EXPECT_FALSE(window_.Click(ctl::kVccGroup));
  EXPECT_FALSE(window_.Click(ctl::kStartAddress));
  EXPECT_FALSE(window_.Click(ctl::kStartLabel));
  EXPECT_FALSE(window_.Click(9999));
}

TEST_F(HeadlessWindowTest, LockedViewControlsSwallowClicksOnly) {
  window_.SetVisible(ctl::kViewGroup, true);
  window_.SetChecked(ctl::kViewMemory, true);
  window_.LockViewControls(true);
  EXPECT_TRUE(window_.ViewLocked());

  EXPECT_FALSE(window_.Click(ctl::kViewChip));
  EXPECT_FALSE(window_.Click(ctl::kViewAscii));
  EXPECT_TRUE(window_.IsChecked(ctl::kViewMemory));
  EXPECT_FALSE(window_.IsChecked(ctl::kViewChip));
  EXPECT_FALSE(window_.IsChecked(ctl::kViewAscii));
  EXPECT_EQ(window_.GetText(ctl::kViewGroup, 64), "编程内存代码视图");
  EXPECT_EQ(status_writes_, 0);

  // The page buttons are not part of the lock.
  EXPECT_TRUE(window_.Click(ctl::kNextPage));
  EXPECT_EQ(status_writes_, 1);

  window_.LockViewControls(false);
  EXPECT_TRUE(window_.Click(ctl::kViewChip));
  EXPECT_TRUE(window_.IsChecked(ctl::kViewChip));
  EXPECT_FALSE(window_.IsChecked(ctl::kViewMemory));
  EXPECT_EQ(window_.GetText(ctl::kViewGroup, 64), "芯片代码视图");
}

TEST_F(HeadlessWindowTest, VisibilityFollowsTheParentGroup) {
  EXPECT_TRUE(window_.IsVisible(ctl::kVdd50));
  window_.SetVisible(ctl::kVccGroup, false);
  EXPECT_FALSE(window_.IsVisible(ctl::kVccGroup));
  EXPECT_FALSE(window_.IsVisible(ctl::kVdd50));
  // The child keeps its own state and reappears with the group.
  window_.SetVisible(ctl::kVccGroup, true);
  EXPECT_TRUE(window_.IsVisible(ctl::kVdd50));
  window_.SetVisible(ctl::kVdd50, false);
  EXPECT_FALSE(window_.IsVisible(ctl::kVdd50));
  EXPECT_TRUE(window_.IsVisible(ctl::kVccGroup));

  // The code view: showing the group shows its buttons, but the list belongs
  // to the main window and has its own visibility.
  EXPECT_FALSE(window_.IsVisible(ctl::kPrevPage));
  window_.SetVisible(ctl::kViewGroup, true);
  EXPECT_TRUE(window_.IsVisible(ctl::kPrevPage));
  EXPECT_FALSE(window_.IsVisible(ctl::kViewList));
  window_.SetVisible(ctl::kViewList, true);
  window_.SetVisible(ctl::kViewGroup, false);
  EXPECT_TRUE(window_.IsVisible(ctl::kViewList));
}

TEST_F(HeadlessWindowTest, TypingPassesTheEditFilter) {
  window_.TypeText(ctl::kStartAddress, "g 1a-F.\xE8\xB7\xAF");
  EXPECT_EQ(window_.GetText(ctl::kStartAddress, 32), "00001AF");
  window_.TypeText(ctl::kStartAddress, "\b\b\b\b\b\b\b\b\b");
  EXPECT_EQ(window_.GetText(ctl::kStartAddress, 32), "");

  // The file box takes everything; backspace removes a whole character.
  window_.TypeText(ctl::kFileBox, "C:\\代码 g.hex");
  EXPECT_EQ(window_.GetText(ctl::kFileBox, 64), "C:\\代码 g.hex");
  window_.TypeText(ctl::kFileBox, "\b\b\b\b\b\b\b");
  EXPECT_EQ(window_.GetText(ctl::kFileBox, 64), "C:\\代");

  // Boxes the user cannot type into.
  window_.TypeText(ctl::kStatusLine, "12");
  window_.TypeText(ctl::kPassBox, "1");
  window_.TypeText(ctl::kViewAddress, "1");  // hidden with the code view
  window_.SetEnabled(ctl::kEndAddress, false);
  window_.TypeText(ctl::kEndAddress, "1");
  EXPECT_EQ(window_.Status(), "");
  EXPECT_EQ(window_.GetText(ctl::kPassBox, 8), "00000");
  EXPECT_EQ(window_.GetText(ctl::kViewAddress, 8), "");
  EXPECT_EQ(window_.GetText(ctl::kEndAddress, 8), "1FFF");

  window_.SetVisible(ctl::kViewGroup, true);
  window_.TypeText(ctl::kViewAddress, "0ab");
  EXPECT_EQ(window_.GetText(ctl::kViewAddress, 8), "0AB");

  // Enter there acts as its "设 置" button; in other boxes it sends nothing.
  EXPECT_FALSE(window_.PressEnter(ctl::kStartAddress));
  EXPECT_EQ(status_writes_, 0);
  EXPECT_TRUE(window_.PressEnter(ctl::kViewAddress));
  EXPECT_EQ(status_writes_, 1);
}

TEST_F(HeadlessWindowTest, TextsAreCutAtWholeCharacters) {
  window_.SetText(ctl::kFileBox, "ab路径cd");
  EXPECT_EQ(window_.GetText(ctl::kFileBox, 0), "");
  EXPECT_EQ(window_.GetText(ctl::kFileBox, 2), "ab");
  EXPECT_EQ(window_.GetText(ctl::kFileBox, 3), "ab路");
  EXPECT_EQ(window_.GetText(ctl::kFileBox, 5), "ab路径c");
  EXPECT_EQ(window_.GetText(ctl::kFileBox, 6), "ab路径cd");
  EXPECT_EQ(window_.GetText(ctl::kFileBox, 100), "ab路径cd");

  window_.SetText(ctl::kStatusLine, "状态");
  EXPECT_EQ(window_.GetText(ctl::kStatusLine, 1), "状");

  // Unknown ids read as empty and take nothing.
  window_.SetText(9999, "x");
  window_.SetChecked(9999, true);
  EXPECT_EQ(window_.GetText(9999, 10), "");
  EXPECT_FALSE(window_.IsChecked(9999));
  EXPECT_FALSE(window_.IsVisible(9999));
}

TEST_F(HeadlessWindowTest, ObserversHearTheCore) {
  std::vector<std::string> statuses;
  std::vector<bool> cursors;
  HeadlessWindow::Observers observers;
  // An observer may read the window back without deadlocking.
  observers.status_changed = [&](const std::string& text) {
    statuses.push_back(text + "/" + window_.Status());
  };
  observers.cursor_changed = [&](bool wait) { cursors.push_back(wait); };
  window_.SetObservers(observers);

  // Both ways of writing the status line are status changes.
  window_.SetStatus("一");
  window_.SetText(ctl::kStatusLine, "二");
  window_.SetText(ctl::kFileBox, "三");
  EXPECT_EQ(statuses, (std::vector<std::string>{"一/一", "二/二"}));

  App().busy = true;
  window_.UpdateCursor();
  EXPECT_TRUE(window_.WaitCursor());
  App().busy = false;
  window_.UpdateCursor();
  EXPECT_FALSE(window_.WaitCursor());
  EXPECT_EQ(cursors, (std::vector<bool>{true, false}));
}

TEST_F(HeadlessWindowTest, DialogsAnswerWithTheFirstButtonUnlessTold) {
  MessageBox yes_no;
  yes_no.buttons = MsgButtons::kYesNo;
  yes_no.default_is_second = true;  // the default button is not the answer
  EXPECT_EQ(window_.ShowMessage(yes_no), MsgAnswer::kYes);
  EXPECT_FALSE(window_.ChooseOpenFile("HEX|*.hex||").has_value());

  HeadlessWindow::Observers observers;
  observers.message_box = [](const MessageBox&) { return MsgAnswer::kNo; };
  window_.SetObservers(observers);
  EXPECT_EQ(window_.ShowMessage(yes_no), MsgAnswer::kNo);
  EXPECT_EQ(window_.Messages().size(), 2u);
}

TEST_F(HeadlessWindowTest, ResetReturnsToTheCreatedState) {
  window_.SetText(ctl::kStartAddress, "1234");
  window_.SetText(ctl::kPassBox, "00042");
  window_.SetText(ctl::kViewGroup, "芯片代码视图");
  window_.SetChecked(ctl::kCom1, true);
  window_.SetEnabled(ctl::kChipOtp, false);
  window_.SetVisible(ctl::kViewGroup, true);
  window_.SetVisible(ctl::kPortGroup, false);
  window_.LockViewControls(true);
  window_.ArmTimer(ctl::kResetPollTimer, 1000);
  window_.Beep(1000, 100);
  window_.SetStatus("x");

  window_.ResetToCreatedState();
  EXPECT_EQ(window_.GetText(ctl::kStartAddress, 8), "0000");
  EXPECT_EQ(window_.GetText(ctl::kPassBox, 8), "00000");
  EXPECT_EQ(window_.GetText(ctl::kViewGroup, 64), "编程内存代码视图");
  EXPECT_EQ(window_.Status(), "");
  EXPECT_FALSE(window_.IsChecked(ctl::kCom1));
  EXPECT_TRUE(window_.IsEnabled(ctl::kChipOtp));
  EXPECT_FALSE(window_.IsEnabled(ctl::kVppBox));  // created disabled
  EXPECT_FALSE(window_.IsVisible(ctl::kViewGroup));
  EXPECT_TRUE(window_.IsVisible(ctl::kCom1));
  EXPECT_FALSE(window_.ViewLocked());
  EXPECT_TRUE(window_.ArmedTimers().empty());
  EXPECT_TRUE(window_.Beeps().empty());
}

// Two core threads write while the main thread's stand-in reads. Meant for
// the ThreadSanitizer build; elsewhere it checks that nothing is lost.
TEST(HeadlessWindowThreads, ConcurrentWritersAndReader) {
  HeadlessWindow window;
  std::atomic<int> notified{0};
  HeadlessWindow::Observers observers;
  observers.status_changed = [&](const std::string&) { ++notified; };
  window.SetObservers(observers);

  constexpr int kRounds = 2000;
  std::atomic<bool> done{false};
  std::thread status_writer([&] {
    for (int i = 0; i < kRounds; ++i) window.SetStatus("状态 " + std::to_string(i));
  });
  std::thread box_writer([&] {
    for (int i = 0; i < kRounds; ++i) {
      window.SetText(ctl::kFileBox, std::to_string(i));
      window.SetChecked(ctl::kAutoVerify, i % 2 == 0);
      window.SetVisible(ctl::kOptionGroup, i % 3 != 0);
      window.Beep(1000, 1);
    }
  });
  std::thread reader([&] {
    while (!done) {
      const std::string status = window.Status();
      EXPECT_TRUE(status.empty() || status.rfind("状态 ", 0) == 0) << status;
      window.GetText(ctl::kFileBox, 3);
      window.IsChecked(ctl::kAutoVerify);
      window.IsVisible(ctl::kAutoVerify);
      window.Beeps();
    }
  });
  status_writer.join();
  box_writer.join();
  done = true;
  reader.join();

  EXPECT_EQ(notified, kRounds);
  EXPECT_EQ(window.Status(), "状态 " + std::to_string(kRounds - 1));
  EXPECT_EQ(window.GetText(ctl::kFileBox, 16), std::to_string(kRounds - 1));
  EXPECT_EQ(window.Beeps().size(), static_cast<size_t>(kRounds));
}

// Spot checks of the table for slips that would break the window.
TEST(HeadlessControlTable, IdsAndParentsHoldTogether) {
  std::set<int> seen;
  std::set<int> groups_so_far;
  for (const ControlSpec& c : MainWindowControls()) {
    EXPECT_TRUE(seen.insert(c.id).second) << "duplicate id " << c.id;
    // A parent is the main window or a group box created earlier.
    EXPECT_TRUE(c.parent == 0 || groups_so_far.count(c.parent)) << c.id;
    if (c.kind == ControlKind::kGroup) {
      EXPECT_EQ(c.parent, 0) << c.id;
      groups_so_far.insert(c.id);
    }
    EXPECT_LT(c.rect.left, c.rect.right) << c.id;
    EXPECT_LT(c.rect.top, c.rect.bottom) << c.id;
    EXPECT_EQ(FindControl(c.id), &c);
  }
  EXPECT_EQ(FindControl(0), nullptr);

  for (int com : {ctl::kCom1, ctl::kCom2, ctl::kCom3, ctl::kCom4}) {
    ASSERT_NE(FindControl(com), nullptr);
    EXPECT_EQ(FindControl(com)->kind, ControlKind::kRadio);
    EXPECT_EQ(FindControl(com)->parent, ctl::kPortGroup);
  }
  const ControlSpec* status = FindControl(ctl::kStatusLine);
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->kind, ControlKind::kEdit);
  EXPECT_EQ(status->parent, ctl::kStatusGroup);
  EXPECT_TRUE(status->styles & style::kReadOnly);
  // The list lies over the code-view group but belongs to the main window.
  EXPECT_EQ(FindControl(ctl::kViewList)->parent, 0);
}

TEST(HeadlessControlTable, StartStateMarksAndLinkText) {
  std::set<int> hidden;
  for (const ControlSpec& c : MainWindowControls()) {
    if (c.styles & style::kHiddenAtStart) hidden.insert(c.id);
  }
  EXPECT_EQ(hidden, (std::set<int>{ctl::kViewGroup, ctl::kViewList, ctl::kBack}));

  // The label's text is decoded from its stored form: 21 printable
  // characters of a web address.
  const std::string link = FindControl(ctl::kWebLink)->caption;
  EXPECT_EQ(link.size(), 21u);
  EXPECT_EQ(link.rfind("www.", 0), 0u) << link;
  for (char ch : link) EXPECT_TRUE(ch >= ' ' && ch <= '~') << link;
  EXPECT_TRUE(FindControl(ctl::kWebLink)->styles & style::kNotify);
}

}  // namespace
}  // namespace zvp
