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
    chip_type_ = 2;  // MTP
    App().range_start = 0;
    App().range_end = 0xFF;
    // The checksum box holds the sum the last memory checksum showed; the
    // programmer checks a streamed range against it.
    surface_.texts_[ctl::kChecksumBox] = FormatNumber(BufferChecksum(App().code_buffer, 0, 0xFF), 16, 4);
  }
  void Run(uint32_t options, bool debug = false) {
    // As StartOperation leaves the header: built from the window, then the
    // chip type and the option bits under test.
    BuildOperationHeader();
    App().header[4] = chip_type_;
    App().option_flags = options;
    surface_.checked_[ctl::kDebugMode] = debug;
    lines_.clear();
    RunOperationNow(OpAutoProgram);
  }
  uint8_t chip_type_ = 2;
  int Pauses() const {
    const auto delays = Calls("DELAY");
    return static_cast<int>(std::count(delays.begin(), delays.end(), "300"));
  }
};

TEST_F(AutoSequence, NoBoxTickedRunsOnlyTheProgrammingStep) {
  Run(0);
  EXPECT_EQ(LastAutoRun().steps, std::vector<uint8_t>{OpProgramChip});
  EXPECT_EQ(Pauses(), 1);  // after the programming step, before the result
  EXPECT_EQ(surface_.Status(), "自动编程已成功完成");
  EXPECT_EQ(App().pass_count, 1u);
  EXPECT_EQ(surface_.texts_[ctl::kPassBox], "000001");
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
  chip_type_ = 1;
  device_.chip().type = SimChipType::kOtp;
  App().function_flags = fn::kForceProtection;
  Run(opt::kErase | opt::kSmart | opt::kHwWriteProtect);
  EXPECT_EQ(LastAutoRun().steps, (std::vector<uint8_t>{OpProgramChip, OpReadProtect}));
  chip_type_ = 2;
  device_.chip() = SimChip{};  // a new, blank MTP chip
  Run(0);
  EXPECT_EQ(LastAutoRun().steps, (std::vector<uint8_t>{OpProgramChip, OpEnableSmart, OpReadProtect}));
}

TEST_F(AutoSequence, CountsWithSixDigitsAndNotWhilePaused) {
  App().pass_count = 41;
  Run(0);
  EXPECT_EQ(surface_.texts_[ctl::kPassBox], "000042");
  App().function_flags = fn::kCountingPaused | fn::kBuzzer;
  Run(0);
  EXPECT_EQ(App().pass_count, 42u);
  EXPECT_EQ(surface_.Status(), "自动编程已成功完成");
  ASSERT_EQ(surface_.beeps_.size(), 2u);  // one short at the start, one long at the end
  EXPECT_EQ(surface_.beeps_[0].ms, 100u);
  EXPECT_EQ(surface_.beeps_[1].ms, 500u);
  EXPECT_EQ(surface_.beeps_[1].hz, 1000u);
}

TEST_F(AutoSequence, TheCursorStaysTheWaitCursorAcrossTheSteps) {
  surface_.cursor_updates_ = 0;
  Run(opt::kReadProtect | opt::kLdcProtect);
  // One update at the start of the sequence and one per inner step, then the
  // arrow once at the very end.
  EXPECT_EQ(surface_.cursor_updates_, 1 + 3 + 1);
  EXPECT_FALSE(App().busy);
}

TEST_F(AutoSequence, AChipThatIsNotBlankFailsAtTheBlankCheckAndIsCounted) {
  device_.chip().memory[0x42] = 0x00;
  App().fail_count = 7;
  App().function_flags = fn::kBuzzer;
  Run(opt::kBlankCheck | opt::kVerify);
  EXPECT_EQ(LastAutoRun().steps, std::vector<uint8_t>{OpBlankCheck});
  EXPECT_EQ(surface_.Status().rfind("芯片不空, 在地址: ", 0), 0u) << surface_.Status();
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(App().fail_count, 8u);
  EXPECT_EQ(surface_.texts_[ctl::kFailBox], "00008");
  ASSERT_EQ(surface_.beeps_.size(), 5u);  // one at the start, four at the end
  for (const auto& b : surface_.beeps_) EXPECT_EQ(b.ms, 100u);
  EXPECT_EQ(App().pass_count, 0u);
}

// Sets function_flags to `flags` when the programming step reports success,
// as a click on the buzzer box in the middle of a run would.
class BuzzerClickSurface final : public FakeSurface {
 public:
  uint32_t flags = 0;
  void SetStatus(const std::string& text) override {
    FakeSurface::SetStatus(text);
    if (text == "编程成功") App().function_flags = flags;
  }
};

// The buzzer box stays usable during a run: switched on after the start it
// sounds at the end, switched off it stays quiet.
TEST_F(AutoSequence, TheBuzzerIsReadAtEachBeep) {
  BuzzerClickSurface clicking;
  clicking.texts_ = surface_.texts_;
  InstallWindow(&clicking);
  App().function_flags = 0;
  clicking.flags = fn::kBuzzer;
  Run(0);
  ASSERT_EQ(clicking.beeps_.size(), 1u);  // none at the start, the long one at the end
  EXPECT_EQ(clicking.beeps_[0].ms, 500u);
  clicking.beeps_.clear();
  App().function_flags = fn::kBuzzer;
  clicking.flags = 0;
  Run(0);
  ASSERT_EQ(clicking.beeps_.size(), 1u);  // only the one at the start
  EXPECT_EQ(clicking.beeps_[0].ms, 100u);
  InstallWindow(&surface_);
}

TEST_F(AutoSequence, AnUnreachableProgrammerIsNoFailedChip) {
  device_.faults().silent = true;
  Run(0, true);
  EXPECT_EQ(LastAutoRun().steps, std::vector<uint8_t>{OpProgramChipDirect});
  EXPECT_EQ(surface_.Status(), "编程器连接错误,编程器可能正忙,请稍候再试!");
  EXPECT_EQ(App().fail_count, 0u);
  EXPECT_FALSE(App().count_failure);
  EXPECT_EQ(surface_.timers_.count(ctl::kReconnectTimer), 1u);
}

TEST_F(AutoSequence, DebugVerifyComparesTheChipSumWithTheBuffer) {
  device_.chip().differs_at = 0x10;  // the chip reads back one byte wrong
  Run(opt::kVerify, true);
  EXPECT_EQ(LastAutoRun().steps, (std::vector<uint8_t>{OpProgramChipDirect, OpChipChecksum}));
  EXPECT_EQ(surface_.Status(), "编程失败,校验芯片错误!");
  EXPECT_EQ(App().fail_count, 1u);
}

TEST_F(AutoSequence, AStepAnsweringNoStopsTheSequenceThere) {
  device_.faults().answer_no = OpLdcProtect;
  Run(opt::kLdcProtect | opt::kReadProtect);
  EXPECT_EQ(LastAutoRun().steps, (std::vector<uint8_t>{OpProgramChip, OpLdcProtect}));
  EXPECT_EQ(surface_.Status(), "使能芯片LDC保护失败!");
  EXPECT_EQ(App().fail_count, 1u);
}

}  // namespace
}  // namespace zvp::test
