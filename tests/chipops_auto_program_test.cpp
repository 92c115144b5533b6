// The auto-program sequence: which steps run for which boxes and chip types,
// the pauses between them, counting, the beeps and the final texts, against
// the virtual programmer with virtual time.
#include <algorithm>

#include "engine/auto_program.h"
#include "image/code_buffer.h"
#include "image/number_text.h"
#include "engine/engine.h"
#include "link/operation_header.h"
#include "tests/support/link_fixture.h"
#include "core/control_ids.h"

namespace zvp::test {
namespace {

class AutoSequence : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    ASSERT_TRUE(sim_port_.Open("COM1"));
    App().port_chosen = true;
    App().programmer_found = true;
    App().range_start = 0;
    App().range_end = 0xFF;
    // The checksum box holds the sum the last memory checksum showed; the
    // programmer checks a streamed range against it.
    window_->SetText(ctl::kChecksumBox,
                     FormatNumber(BufferChecksum(App().code_buffer, 0, 0xFF), 16, 4));
  }
  // The boxes of `options` ticked on an MTP chip, the others not, then the
  // chip type chosen (an OTP chip greys the MTP-only boxes, ticked or not);
  // and the header as StartOperation leaves it, built from the window.
  void Run(uint32_t options, bool debug = false) {
    struct Box {
      int id;
      uint32_t bit;
    };
    static constexpr Box kBoxes[] = {
        {ctl::kAutoReadProtect, opt::kReadProtect},
        {ctl::kAutoLdcProtect, opt::kLdcProtect},
        {ctl::kAutoBlankCheck, opt::kBlankCheck},
        {ctl::kAutoHwWriteProtect, opt::kHwWriteProtect},
        {ctl::kEnableSmart, opt::kSmart},
        {ctl::kAutoVerify, opt::kVerify},
        {ctl::kEraseBeforeProgram, opt::kErase},
    };
    window_->Click(ctl::kChipMtp);
    for (const Box& b : kBoxes) window_.Tick(b.id, (options & b.bit) != 0);
    window_->Click(chip_);
    window_.Tick(ctl::kDebugMode, debug);
    BuildOperationHeader();
    lines_.clear();
    RunOperationNow(OpAutoProgram);
  }
  int chip_ = ctl::kChipMtp;
  int Pauses() const {
    const auto delays = Calls("DELAY");
    return static_cast<int>(std::count(delays.begin(), delays.end(), "300"));
  }
};

TEST_F(AutoSequence, NoBoxTickedRunsOnlyTheProgrammingStep) {
  Run(0);
  EXPECT_EQ(LastAutoRun().steps, std::vector<uint8_t>{OpProgramChip});
  EXPECT_EQ(Pauses(), 1);  // after the programming step, before the result
  EXPECT_EQ(window_->Status(), "自动编程已成功完成");
  EXPECT_EQ(App().pass_count, 1u);
  EXPECT_EQ(window_.Text(ctl::kPassBox), "000001");
  EXPECT_FALSE(App().busy);
  EXPECT_FALSE(App().auto_running);
}

TEST_F(AutoSequence, EveryBoxOnAnMtpChipRunsAllEightStepsInOrder) {
  Run(0x7F);
  EXPECT_EQ(LastAutoRun().steps, (std::vector<uint8_t>{OpBlankCheck, OpEraseMtp, OpProgramChip,
                                                   OpVerifyChip, OpEnableSmart, OpLdcProtect,
                                                   OpReadProtect, OpHardwareWriteProtect}));
  EXPECT_EQ(Pauses(), 7);  // after steps 1 to 7, none after the last
}

TEST_F(AutoSequence, DebugModeStreamsTheCodeAndVerifiesByChecksum) {
  Run(0x7F, true);
  EXPECT_EQ(LastAutoRun().steps, (std::vector<uint8_t>{OpBlankCheck, OpEraseMtp, OpProgramChipDirect,
                                                   OpChipChecksum, OpEnableSmart, OpLdcProtect,
                                                   OpReadProtect, OpHardwareWriteProtect}));
  EXPECT_EQ(Pauses(), 7);  // before steps 2 to 8
  Run(0, true);
  EXPECT_EQ(LastAutoRun().steps, std::vector<uint8_t>{OpProgramChipDirect});
  // Step 3 is the first to run and still gets its pause: only step 1 never
  // has one. None after the last.
  EXPECT_EQ(Pauses(), 1);
}

TEST_F(AutoSequence, OtpChipsSkipTheMtpOnlyStepsButForcedProtectionStillReadProtects) {
  chip_ = ctl::kChipOtp;
  device_.chip().type = SimChipType::kOtp;
  App().function_flags = fn::kForceProtection;
  Run(opt::kErase | opt::kSmart | opt::kHwWriteProtect);
  EXPECT_EQ(LastAutoRun().steps, (std::vector<uint8_t>{OpProgramChip, OpReadProtect}));
  chip_ = ctl::kChipMtp;
  device_.chip() = SimChip{};  // a new, blank MTP chip
  Run(0);
  EXPECT_EQ(LastAutoRun().steps, (std::vector<uint8_t>{OpProgramChip, OpEnableSmart, OpReadProtect}));
}

TEST_F(AutoSequence, CountsWithSixDigitsAndNotWhilePaused) {
  App().pass_count = 41;
  Run(0);
  EXPECT_EQ(window_.Text(ctl::kPassBox), "000042");
  App().function_flags = fn::kCountingPaused | fn::kBuzzer;
  Run(0);
  EXPECT_EQ(App().pass_count, 42u);
  EXPECT_EQ(window_->Status(), "自动编程已成功完成");
  ASSERT_EQ(window_->Beeps().size(), 2u);  // one short at the start, one long at the end
  EXPECT_EQ(window_->Beeps()[0].ms, 100u);
  EXPECT_EQ(window_->Beeps()[1].ms, 500u);
  EXPECT_EQ(window_->Beeps()[1].hz, 1000u);
}

TEST_F(AutoSequence, TheCursorStaysTheWaitCursorAcrossTheSteps) {
  window_.ForgetCursorUpdates();
  Run(opt::kReadProtect | opt::kLdcProtect);
  // One update at the start of the sequence and one per inner step, then the
  // arrow once at the very end.
  EXPECT_EQ(window_.CursorUpdates(), 1 + 3 + 1);
  EXPECT_FALSE(App().busy);
}

TEST_F(AutoSequence, AChipThatIsNotBlankFailsAtTheBlankCheckAndIsCounted) {
  device_.chip().memory[0x42] = 0x00;
  App().fail_count = 7;
  App().function_flags = fn::kBuzzer;
  Run(opt::kBlankCheck | opt::kVerify);
  EXPECT_EQ(LastAutoRun().steps, std::vector<uint8_t>{OpBlankCheck});
  EXPECT_EQ(window_->Status().rfind("芯片不空, 在地址: ", 0), 0u) << window_->Status();
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(App().fail_count, 8u);
  EXPECT_EQ(window_.Text(ctl::kFailBox), "00008");
  ASSERT_EQ(window_->Beeps().size(), 5u);  // one at the start, four at the end
  for (const auto& b : window_->Beeps()) EXPECT_EQ(b.ms, 100u);
  EXPECT_EQ(App().pass_count, 0u);
}

// The buzzer box stays usable during a run: switched on after the start it
// sounds at the end, switched off it stays quiet. The user clicks it when
// the programming step reports success.
TEST_F(AutoSequence, TheBuzzerIsReadAtEachBeep) {
  window_.OnStatus([this](const std::string& text) {
    if (text == "编程成功") window_->Click(ctl::kBuzzer);
  });
  ASSERT_FALSE(window_->IsChecked(ctl::kBuzzer));
  Run(0);
  ASSERT_EQ(window_->Beeps().size(), 1u);  // none at the start, the long one at the end
  EXPECT_EQ(window_->Beeps()[0].ms, 500u);
  ASSERT_TRUE(window_->IsChecked(ctl::kBuzzer));
  Run(0);
  ASSERT_EQ(window_->Beeps().size(), 2u);  // only the one at the start
  EXPECT_EQ(window_->Beeps()[1].ms, 100u);
}

TEST_F(AutoSequence, AnUnreachableProgrammerIsNoFailedChip) {
  device_.faults().silent = true;
  Run(0, true);
  EXPECT_EQ(LastAutoRun().steps, std::vector<uint8_t>{OpProgramChipDirect});
  EXPECT_EQ(window_->Status(), "编程器连接错误,编程器可能正忙,请稍候再试!");
  EXPECT_EQ(App().fail_count, 0u);
  EXPECT_FALSE(App().count_failure);
  EXPECT_EQ(window_->ArmedTimers().count(ctl::kReconnectTimer), 1u);
}

TEST_F(AutoSequence, DebugVerifyComparesTheChipSumWithTheBuffer) {
  device_.chip().differs_at = 0x10;  // the chip reads back one byte wrong
  Run(opt::kVerify, true);
  EXPECT_EQ(LastAutoRun().steps, (std::vector<uint8_t>{OpProgramChipDirect, OpChipChecksum}));
  EXPECT_EQ(window_->Status(), "编程失败,校验芯片错误!");
  EXPECT_EQ(App().fail_count, 1u);
}

TEST_F(AutoSequence, AStepAnsweringNoStopsTheSequenceThere) {
  device_.faults().answer_no = OpLdcProtect;
  Run(opt::kLdcProtect | opt::kReadProtect);
  EXPECT_EQ(LastAutoRun().steps, (std::vector<uint8_t>{OpProgramChip, OpLdcProtect}));
  EXPECT_EQ(window_->Status(), "使能芯片LDC保护失败!");
  EXPECT_EQ(App().fail_count, 1u);
}

// The command line's second Ctrl-C (stop_requested): no further step runs
// on the chip, a code stream stops before its next write, and the run is a
// failed chip with the stop's text. The window never asks it.
TEST_F(AutoSequence, AStopAskedMidRunEndsItBeforeTheNextStepAndMidStream) {
  window_.OnStatus([](const std::string& text) {
    if (text == "编程成功") App().stop_requested = true;
  });
  Run(opt::kVerify | opt::kReadProtect);
  EXPECT_EQ(LastAutoRun().steps, std::vector<uint8_t>{OpProgramChip});
  EXPECT_EQ(LastAutoRun().verdict, AutoVerdict::kFailed);
  EXPECT_EQ(window_->Status(), "用户已中断操作!");
  EXPECT_EQ(App().fail_count, 1u);
  EXPECT_EQ(App().pass_count, 0u);

  App().stop_requested = false;
  device_.chip() = SimChip{};
  window_.OnStatus([](const std::string& text) {
    if (text.rfind("请稍候,正在编程芯片, 地址: ", 0) == 0) App().stop_requested = true;
  });
  Run(opt::kVerify, true);
  EXPECT_EQ(LastAutoRun().steps, std::vector<uint8_t>{OpProgramChipDirect});
  EXPECT_EQ(window_->Status(), "用户已中断操作!");
  const auto writes = Calls("WRITE");
  const auto blocks = std::count_if(writes.begin(), writes.end(),
                                    [](const std::string& w) { return w.rfind("8/8 ", 0) == 0; });
  EXPECT_EQ(blocks, 128 / 8) << "the stream stops at the first write after the stop";
  EXPECT_EQ(App().fail_count, 2u);
}

}  // namespace
}  // namespace zvp::test
