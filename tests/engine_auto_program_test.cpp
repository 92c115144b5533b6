// The auto-program sequence: which steps run for which boxes and chip types,
// the pauses between them, counting, the beeps and the final texts, against
// the virtual programmer with virtual time.
#include <algorithm>

#include "engine/auto_program.h"
#include "image/code_buffer.h"
#include "image/number_text.h"
#include "engine/engine.h"
#include "link/operation_header.h"
#include "core/production_recorder.h"
#include "tests/support/link_fixture.h"
#include "ui/control_ids.h"
#include "ui/option_boxes.h"
#include "tests/support/header_from_window.h"

namespace zvp::test {
namespace {

// What the engine hands the production log at the end of each run.
struct LastRun final : ProductionRecorder {
  void AutoRunFinished(const AutoRunRecord& run) override { record = run; }
  AutoRunRecord record;
};

class AutoSequence : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    App().recorder = &last_run_;
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
    window_->Click(ctl::kChipMtp);
    for (const OptionBox& b : kOptionBoxes) window_.Tick(b.id, (options & b.bit) != 0);
    window_->Click(chip_);
    window_.Tick(ctl::kDebugMode, debug);
    BuildHeaderFromWindow();
    lines_.clear();
    outcome_ = RunOperationNow(OpAutoProgram);
  }
  void TearDown() override {
    App().recorder = nullptr;
    LinkTest::TearDown();
  }
  const AutoRunRecord& Recorded() const { return last_run_.record; }
  LastRun last_run_;
  Outcome outcome_ = Outcome::kDone;
  int chip_ = ctl::kChipMtp;
  int Pauses() const {
    const auto delays = Calls("DELAY");
    return static_cast<int>(std::count(delays.begin(), delays.end(), "300"));
  }
};

TEST_F(AutoSequence, NoBoxTickedRunsOnlyTheProgrammingStep) {
  Run(0);
  EXPECT_EQ(Recorded().steps, std::vector<uint8_t>{OpProgramChip});
  EXPECT_EQ(Recorded().verdict, AutoVerdict::kPassed);
  EXPECT_EQ(outcome_, Outcome::kDone);
  EXPECT_EQ(Pauses(), 1);  // after the programming step, before the result
  EXPECT_EQ(window_->Status(), "自动编程已成功完成");
  EXPECT_EQ(App().pass_count, 1u);
  EXPECT_EQ(window_.Text(ctl::kPassBox), "000001");
  EXPECT_FALSE(App().busy);
  EXPECT_FALSE(App().auto_running);
}

TEST_F(AutoSequence, EveryBoxOnAnMtpChipRunsAllEightStepsInOrder) {
  Run(0x7F);
  EXPECT_EQ(Recorded().steps, (std::vector<uint8_t>{OpBlankCheck, OpEraseMtp, OpProgramChip,
                                                   OpVerifyChip, OpEnableSmart, OpLdcProtect,
                                                   OpReadProtect, OpHardwareWriteProtect}));
  EXPECT_EQ(Pauses(), 7);  // after steps 1 to 7, none after the last
}

TEST_F(AutoSequence, DebugModeStreamsTheCodeAndVerifiesByChecksum) {
  Run(0x7F, true);
  EXPECT_EQ(Recorded().steps, (std::vector<uint8_t>{OpBlankCheck, OpEraseMtp, OpProgramChipDirect,
                                                   OpChipChecksum, OpEnableSmart, OpLdcProtect,
                                                   OpReadProtect, OpHardwareWriteProtect}));
  EXPECT_EQ(Pauses(), 7);  // before steps 2 to 8
  Run(0, true);
  EXPECT_EQ(Recorded().steps, std::vector<uint8_t>{OpProgramChipDirect});
  // Step 3 is the first to run and still gets its pause: only step 1 never
  // has one. None after the last.
  EXPECT_EQ(Pauses(), 1);
}

TEST_F(AutoSequence, OtpChipsSkipTheMtpOnlyStepsButForcedProtectionStillReadProtects) {
  chip_ = ctl::kChipOtp;
  device_.chip().type = SimChipType::kOtp;
  App().function_flags = fn::kForceProtection;
  Run(opt::kErase | opt::kSmart | opt::kHwWriteProtect);
  EXPECT_EQ(Recorded().steps, (std::vector<uint8_t>{OpProgramChip, OpReadProtect}));
  chip_ = ctl::kChipMtp;
  device_.chip() = SimChip{};  // a new, blank MTP chip
  Run(0);
  EXPECT_EQ(Recorded().steps, (std::vector<uint8_t>{OpProgramChip, OpEnableSmart, OpReadProtect}));
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
  EXPECT_EQ(Recorded().steps, std::vector<uint8_t>{OpBlankCheck});
  EXPECT_EQ(outcome_, Outcome::kFailed);
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
  EXPECT_EQ(Recorded().steps, std::vector<uint8_t>{OpProgramChipDirect});
  EXPECT_EQ(window_->Status(), "编程器连接错误,编程器可能正忙,请稍候再试!");
  EXPECT_EQ(App().fail_count, 0u);
  EXPECT_FALSE(App().count_failure);
  EXPECT_EQ(window_->ArmedTimers().count(ctl::kReconnectTimer), 1u);
}

// Each failing step's own header went unanswered, or the port was gone:
// nothing was done to the chip, so it is not counted, whichever step came
// first. Before, only the blank check and direct programming knew that; a
// default run (its first step the erase) and programming from memory counted
// a failed chip for a programmer that was switched off or unplugged.
TEST_F(AutoSequence, ARunWhoseFirstStepCannotReachTheProgrammerCountsNoChip) {
  const uint32_t kDefaultOptions =
      opt::kVerify | opt::kReadProtect | opt::kSmart | opt::kHwWriteProtect | opt::kErase;
  struct Case {
    uint32_t options;
    bool vanish;
    uint8_t first_step;
    const char* status;
  };
  for (const Case& c : {Case{kDefaultOptions, false, OpEraseMtp, "编程器连接错误! 编程器可能正忙,请稍候再试!"},
                        Case{0, false, OpProgramChip, "编程器连接错误! 编程器可能正忙,请稍候再试!"},
                        Case{kDefaultOptions, true, OpEraseMtp, "连接烧写器端口硬件错误!"}}) {
    SetUp();
    device_.faults().silent = !c.vanish;
    if (c.vanish) sim_port_.Vanish();
    Run(c.options);
    EXPECT_EQ(Recorded().steps, std::vector<uint8_t>{c.first_step});
    EXPECT_EQ(window_->Status(), c.status);
    EXPECT_EQ(Recorded().verdict, AutoVerdict::kNotCounted);
    EXPECT_EQ(App().fail_count, 0u);
    EXPECT_EQ(App().pass_count, 0u);
    device_.faults().silent = false;
  }
}

// Once a step changed the chip, a link lost after it still fails the chip:
// here the erase was done and the programmer then answers no header. A blank
// check changes nothing: a programmer lost after it still counts no chip.
TEST_F(AutoSequence, ALinkLostAfterAStepChangedTheChipCountsItAsFailed) {
  struct Case {
    uint32_t options;
    bool debug;
    uint8_t silent_from;
    bool counted;
  };
  for (const Case& c : {Case{opt::kErase | opt::kVerify, false, OpProgramChip, true},
                        Case{opt::kErase, true, OpProgramChipDirect, true},
                        Case{opt::kBlankCheck | opt::kVerify, false, OpProgramChip, false},
                        Case{opt::kBlankCheck, true, OpProgramChipDirect, false}}) {
    SetUp();
    device_.chip() = SimChip{};
    hook_.before_write = [&](const uint8_t* buf, uint32_t n) {
      if (n == kHeaderSize && buf[hdr::kCommand] == c.silent_from) device_.faults().silent = true;
      return HookPort::WriteAction::kPass;
    };
    Run(c.options, c.debug);
    hook_.before_write = nullptr;
    device_.faults().silent = false;
    ASSERT_EQ(Recorded().steps.size(), 2u) << int(c.silent_from);
    EXPECT_EQ(Recorded().steps.back(), c.silent_from);
    EXPECT_EQ(Recorded().verdict, c.counted ? AutoVerdict::kFailed : AutoVerdict::kNotCounted)
        << int(c.silent_from) << " " << c.debug;
    EXPECT_EQ(App().fail_count, c.counted ? 1u : 0u) << int(c.silent_from) << " " << c.debug;
  }
}

// The programmer restarts (its memory lost) once the exchange of one step
// is over, for every step of a default run, of a run with every option and
// of the same in debug mode. The run never passes: the restart is heard in
// the queue before the next step's header, which never goes out; the reset
// text stands, the programmer memory is no longer trusted (so the next chip
// is refused) and the buffer that stood for it is wiped. The chip counts as
// failed once a step changed it; after the blank check alone nothing counts.
// A restart after the last step comes when the chip is done: that run
// passes, and the next one sends nothing. Before, the reset message was
// purged unheard and the next step programmed the chip from the empty
// memory: the run passed with a blank chip.
TEST_F(AutoSequence, AProgrammerThatRestartsAfterAnyStepNeverLetsARunPass) {
  const uint32_t kDefaultOptions =
      opt::kVerify | opt::kReadProtect | opt::kSmart | opt::kHwWriteProtect | opt::kErase;
  const std::string kResetText =
      "OK,检测到 ZVP-V2.0C 已复位!请点击[下载文件代码]按钮以刷新编程器内存代码";
  struct Kind {
    uint32_t options;
    bool debug;
  };
  for (const Kind& kind : {Kind{kDefaultOptions, false}, Kind{0x7F, false}, Kind{0x7F, true}}) {
    SetUp();
    device_.chip() = SimChip{};
    Run(kind.options, kind.debug);
    ASSERT_EQ(window_->Status(), "自动编程已成功完成");
    const std::vector<uint8_t> steps = Recorded().steps;
    for (size_t i = 0; i < steps.size(); ++i) {
      const std::string label = std::to_string(kind.options) + (kind.debug ? " debug" : "") +
                                ", restart after " + std::to_string(steps[i]);
      SetUp();
      device_.chip() = SimChip{};
      device_.faults().reset_after = steps[i];
      App().memory_loaded = true;
      App().code_buffer[0x4000] = 0x12;  // outside the range: no sum changes
      const size_t headers_before = device_.headers().size();
      Run(kind.options, kind.debug);
      if (i + 1 == steps.size()) {
        EXPECT_EQ(window_->Status(), "自动编程已成功完成") << label;
        Run(kind.options, kind.debug);  // the next chip
        EXPECT_EQ(Recorded().steps.size(), 1u) << label;
      } else {
        EXPECT_EQ(Recorded().steps.size(), i + 2) << label;
      }
      EXPECT_EQ(window_->Status(), kResetText) << label;
      EXPECT_TRUE(App().link_fault) << label;
      EXPECT_FALSE(App().memory_loaded) << label;
      EXPECT_EQ(App().code_buffer[0x4000], 0xFF) << label;
      // Nothing went to the restarted programmer.
      ASSERT_EQ(device_.headers().size(), headers_before + i + 1) << label;
      EXPECT_EQ(device_.headers().back()[hdr::kCommand], steps[i]) << label;
      const bool changed = i + 1 < steps.size() &&
                           std::any_of(steps.begin(), steps.begin() + static_cast<long>(i) + 1,
                                       [](uint8_t code) { return code != OpBlankCheck; });
      EXPECT_EQ(Recorded().verdict,
                changed ? AutoVerdict::kFailed : AutoVerdict::kNotCountedRestart)
          << label;
      EXPECT_EQ(App().fail_count, changed ? 1u : 0u) << label;
      EXPECT_EQ(App().pass_count, i + 1 == steps.size() ? 1u : 0u) << label;
    }
  }
}

// The programmer restarts while a step waits for its reports: the reset
// message comes where an address or a verdict was expected, or in place of
// the header's answer. The step that was erasing or programming the chip,
// or may have started to, fails it; a blank check that was only reading it
// counts nothing. Over the whole chip the reports come some 8 ms (blank
// check) and 41 ms (programming) apart and the erase takes 150 ms: 20 ms
// after the header the restart falls amid each step's own traffic.
TEST_F(AutoSequence, ARestartInTheMiddleOfAStepEndsTheRunWithTheResetText) {
  struct Case {
    uint8_t step;
    int64_t after_header_us;
    bool counted;
  };
  for (const Case& c : {Case{OpBlankCheck, 0, false}, Case{OpBlankCheck, 20'000, false},
                        Case{OpEraseMtp, 0, true}, Case{OpEraseMtp, 20'000, true},
                        Case{OpProgramChip, 20'000, true}}) {
    SetUp();
    App().range_end = 0x7FFF;
    device_.chip() = SimChip{};
    App().memory_loaded = true;
    hook_.after_write = [&](const uint8_t* buf, uint32_t n) {
      if (n == kHeaderSize && buf[hdr::kCommand] == c.step) device_.SendReset(clock_.NowUs() + c.after_header_us);
    };
    Run(opt::kBlankCheck | opt::kErase | opt::kVerify);
    hook_.after_write = nullptr;
    EXPECT_EQ(Recorded().steps.back(), c.step);
    EXPECT_EQ(window_->Status(),
              "OK,检测到 ZVP-V2.0C 已复位!请点击[下载文件代码]按钮以刷新编程器内存代码")
        << int(c.step);
    EXPECT_FALSE(App().memory_loaded);
    EXPECT_EQ(Recorded().verdict,
              c.counted ? AutoVerdict::kFailed : AutoVerdict::kNotCountedRestart)
        << int(c.step) << " " << c.after_header_us;
    EXPECT_EQ(App().fail_count, c.counted ? 1u : 0u) << int(c.step) << " " << c.after_header_us;
  }
}

TEST_F(AutoSequence, DebugVerifyComparesTheChipSumWithTheBuffer) {
  device_.chip().differs_at = 0x10;  // the chip reads back one byte wrong
  Run(opt::kVerify, true);
  EXPECT_EQ(Recorded().steps, (std::vector<uint8_t>{OpProgramChipDirect, OpChipChecksum}));
  EXPECT_EQ(window_->Status(), "编程失败,校验芯片错误!");
  EXPECT_EQ(App().fail_count, 1u);
}

TEST_F(AutoSequence, AStepAnsweringNoStopsTheSequenceThere) {
  device_.faults().answer_no = OpLdcProtect;
  Run(opt::kLdcProtect | opt::kReadProtect);
  EXPECT_EQ(Recorded().steps, (std::vector<uint8_t>{OpProgramChip, OpLdcProtect}));
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
  EXPECT_EQ(Recorded().steps, std::vector<uint8_t>{OpProgramChip});
  EXPECT_EQ(Recorded().verdict, AutoVerdict::kFailed);
  EXPECT_EQ(outcome_, Outcome::kInterrupted);
  EXPECT_EQ(window_->Status(), "用户已中断操作!");
  EXPECT_EQ(App().fail_count, 1u);
  EXPECT_EQ(App().pass_count, 0u);

  App().stop_requested = false;
  device_.chip() = SimChip{};
  window_.OnStatus([](const std::string& text) {
    if (text.rfind("请稍候,正在编程芯片, 地址: ", 0) == 0) App().stop_requested = true;
  });
  Run(opt::kVerify, true);
  EXPECT_EQ(Recorded().steps, std::vector<uint8_t>{OpProgramChipDirect});
  EXPECT_EQ(outcome_, Outcome::kInterrupted);
  EXPECT_EQ(window_->Status(), "用户已中断操作!");
  const auto writes = Calls("WRITE");
  const auto blocks = std::count_if(writes.begin(), writes.end(),
                                    [](const std::string& w) { return w.rfind("8/8 ", 0) == 0; });
  EXPECT_EQ(blocks, 128 / 8) << "the stream stops at the first write after the stop";
  EXPECT_EQ(App().fail_count, 2u);
}

}  // namespace
}  // namespace zvp::test
