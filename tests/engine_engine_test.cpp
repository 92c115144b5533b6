// The operation engine: starting workers, the start and end steps, the view
// path, sequences holding `busy`.
#include <atomic>

#include "ui/control_ids.h"
#include "core/thread_priority.h"
#include "engine/engine.h"
#include "engine/operation_table.h"
#include "link/connection.h"
#include "tests/support/link_fixture.h"
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

}  // namespace
}  // namespace zvp::test
