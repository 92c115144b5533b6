// The window's small answers: the status link, the status colour and
// cursor, F5 and F7.
#include "core/protocol.h"
#include "tests/support/link_fixture.h"
#include "ui/window_events.h"

namespace zvp::test {
namespace {

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

}  // namespace
}  // namespace zvp::test
