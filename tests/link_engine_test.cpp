// The operation engine: starting workers, the start and end steps, the view
// path, sequences holding `busy`, and the window's small message answers.
#include <atomic>

#include "ui/control_ids.h"
#include "core/thread_priority.h"
#include "engine/engine.h"
#include "engine/operation_table.h"
#include "link/connection.h"
#include "tests/support/link_fixture.h"
#include "ui/window_events.h"
#include "ui/window_choices.h"

namespace zvp::test {
namespace {

class CountingPriority final : public ThreadPriority {
 public:
  bool RaiseCurrentToTimeCritical() override {
    ++raised;
    return true;
  }
  std::atomic<int> raised{0};
};

class Engine : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    App().priority = &priority_;
    ASSERT_TRUE(sim_port_.Open("COM1"));
    App().port_chosen = true;
  }
  void TearDown() override {
    WaitForWorkers();
    WaitForResetPoll();
    App().priority = nullptr;
    LinkTest::TearDown();
  }
  CountingPriority priority_;
};

TEST_F(Engine, NothingStartsBeforeAPortWasChosen) {
  App().port_chosen = false;
  const uint64_t before = WorkersStarted();
  StartOperation(OpBlankCheck, ReadOperatorChoices());
  EXPECT_EQ(WorkersStarted(), before);
  EXPECT_EQ(window_->Status(), "请点击相应的COM端口以启动编程器连接");
  EXPECT_FALSE(App().busy);
}

TEST_F(Engine, CodesWithoutAnOperationRunOnlyTheStartAndEndSteps) {
  for (uint8_t code : {uint8_t{10}, uint8_t{29}, uint8_t{0}}) {
    window_.ForgetCursorUpdates();
    window_.ForgetViewLocks();
    App().link_fault = true;
    StartOperation(code, ReadOperatorChoices());
    WaitForWorkers();
    EXPECT_FALSE(App().busy);
    EXPECT_FALSE(App().link_fault);
    EXPECT_EQ(App().header.Command(), code);
    EXPECT_EQ(window_.CursorUpdates(), 2);                     // wait cursor, then the arrow
    EXPECT_EQ(window_.ViewLocks(), std::vector<bool>{false});  // only the end step's unlock
  }
  EXPECT_GE(priority_.raised, 3);
  EXPECT_TRUE(Calls("WRITE").empty());  // nothing reached the programmer
}

TEST_F(Engine, CodesFromThirtyUpGoToTheCodeViewLocked) {
  StartOperation(200, ReadOperatorChoices());
  WaitForWorkers();
  EXPECT_EQ(window_.ViewLocks(), (std::vector<bool>{true, false}));
}

TEST_F(Engine, StartingBuildsTheHeaderFromTheWindow) {
  window_->Click(ctl::kChipOtp);
  window_->SetText(ctl::kChecksumBox, "1A2B");
  StartOperation(12, ReadOperatorChoices());
  WaitForWorkers();
  EXPECT_EQ(App().header.ChipTypeOf(), ChipType::kOtp);
  EXPECT_EQ(App().header[hdr::kChecksumHigh], 0x1A);
  EXPECT_EQ(App().header[hdr::kChecksumLow], 0x2B);
}

TEST_F(Engine, BusyHoldsFromTheStartSoNoPollSlipsIn) {
  // The first tick after StartOperation returns may come before the worker
  // has run a single line.
  window_.HoldWorkers();
  StartOperation(10, ReadOperatorChoices());
  OnTimerTick(ctl::kResetPollTimer);
  EXPECT_FALSE(ResetPollRunning());
  window_.ReleaseWorkers();
  WaitForWorkers();
}

TEST_F(Engine, ASequenceKeepsBusyAndTheWaitCursorAcrossItsSteps) {
  App().auto_running = true;
  RunOperationNow(OpBlankCheck);
  EXPECT_TRUE(App().busy);
  RunOperationNow(OpEraseMtp);
  EXPECT_TRUE(App().busy);
  EXPECT_EQ(window_.CursorUpdates(), 2);  // one per inner start, none to the arrow
  App().auto_running = false;
  RunOperationNow(cmd::kReadChip);
  EXPECT_FALSE(App().busy);
  EXPECT_EQ(App().header.Command(), cmd::kReadChip);
}

using WindowAnswers = LinkTest;

TEST_F(WindowAnswers, LinkReleaseAnswersOnlyAfterAPress) {
  EXPECT_FALSE(OnLinkReleased());
  OnLinkPressed();
  EXPECT_TRUE(App().label_pressed);
  EXPECT_TRUE(OnLinkReleased());
  EXPECT_FALSE(OnLinkReleased());
}

TEST_F(WindowAnswers, StatusColourAndCursorFollowTheFlags) {
  EXPECT_FALSE(StatusShowsFault());
  App().link_fault = true;
  EXPECT_TRUE(StatusShowsFault());
  EXPECT_FALSE(CursorIsWait());
  App().busy = true;
  EXPECT_TRUE(CursorIsWait());
  OnAbortRequested();
  EXPECT_TRUE(App().user_abort);
}

TEST_F(WindowAnswers, F7AnsweredNoLeavesTheMemoryAlone) {
  window_.AnswerBoxes({MsgAnswer::kNo});
  EXPECT_EQ(OnFunctionKey(0x76), Outcome::kDeclined);
  ASSERT_EQ(window_->Messages().size(), 1u);
  EXPECT_EQ(window_->Messages()[0].caption, "初始化存储器");
  EXPECT_EQ(window_->Messages()[0].text, "确实要完全擦除当前存储器么?");
  EXPECT_EQ(window_->Messages()[0].buttons, MsgButtons::kYesNo);
  EXPECT_EQ(window_->Status(), "操作已退出");
  EXPECT_EQ(window_.CursorUpdates(), 0);
}

TEST_F(WindowAnswers, F7YesRunsTheInitialisationOnThisThread) {
  ASSERT_TRUE(sim_port_.Open("COM1"));
  window_.AnswerBoxes({MsgAnswer::kYes});
  // Returns only when the initialisation is over.
  EXPECT_EQ(OnFunctionKey(0x76), Outcome::kDone);
  ASSERT_EQ(device_.headers().size(), 1u);
  EXPECT_EQ(device_.headers()[0][hdr::kCommand], cmd::kInitMemory);  // the programmer's initialise command
  EXPECT_EQ(window_->Status(), "初始化存储器成功!");
  EXPECT_FALSE(App().busy);
  EXPECT_EQ(window_.CursorUpdates(), 2);
}

TEST_F(WindowAnswers, F7IsIgnoredWhileAnOperationRuns) {
  App().busy = true;
  OnFunctionKey(0x76);
  EXPECT_TRUE(window_->Messages().empty());
  EXPECT_EQ(App().header.Command(), 0);
}

TEST_F(WindowAnswers, F5GreetsAndOtherKeysDoNothing) {
  OnFunctionKey(0x74);
  ASSERT_EQ(window_->Messages().size(), 1u);
  EXPECT_EQ(window_->Messages()[0].caption, "尊敬的用户");
  EXPECT_EQ(window_->Messages()[0].buttons, MsgButtons::kOk);
  for (int key = 0x71; key <= 0x7B; ++key)
    if (key != 0x74 && key != 0x76) OnFunctionKey(key);
  EXPECT_EQ(window_->Messages().size(), 1u);
}

// The usage's commands come from the table: every word, with what it
// takes, between the command line's own, in lines a terminal does not wrap.
TEST(OperationTable, TheUsageListsEveryWordWithinEightyColumns) {
  const std::string text = CommandListLines("connect", "state");
  ASSERT_FALSE(text.empty());
  ASSERT_EQ(text.back(), '\n');
  std::vector<std::string> items;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at);
    EXPECT_LE(line.size(), 80u) << line;
    EXPECT_EQ(line.rfind("  ", 0), 0u) << line;
    at = end + 1;
  }
  const std::string flat = " " + text;
  size_t words = 0;
  for (const OperationEntry& e : Operations()) {
    if (e.word == nullptr) continue;
    ++words;
    std::string item = std::string(" ") + e.word;
    if (e.argument != nullptr) item += std::string(" ") + e.argument;
    const size_t found = flat.find(item + " ");
    const size_t found_end = flat.find(item + "\n");
    EXPECT_TRUE(found != std::string::npos || found_end != std::string::npos) << e.word;
  }
  EXPECT_EQ(words, 15u);
  EXPECT_EQ(text.rfind("  connect ", 0), 0u);
  EXPECT_EQ(text.substr(text.size() - 7), " state\n");
}

}  // namespace
}  // namespace zvp::test
