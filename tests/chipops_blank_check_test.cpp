// The blank check against the virtual programmer with virtual time: the
// header it sends, the progress texts, both verdicts, every failure of the
// exchange, and the chip model's answers to a scan.
#include <string>
#include <vector>

#include "chipops/blank_check.h"
#include "chipops/chip_command.h"
#include "image/number_text.h"
#include "tests/support/chip_op_fixture.h"

namespace zvp::test {
namespace {

constexpr char kInProgress[] = "请稍候,芯片空检查......";
constexpr char kProgressPrefix[] = "请稍候,芯片空检查,  地址: ";
constexpr char kNotBlankPrefix[] = "芯片不空, 在地址: ";

using BlankCheck = ChipOpTest;

TEST_F(BlankCheck, BlankChipOverTheWholeRangeReportsEveryStepAndTheRange) {
  SetRange(0, 0x7FFF);
  Run(OpBlankCheck);

  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(window_.Statuses().front(), kInProgress);
  std::vector<std::string> expected;
  for (uint32_t a = 0x1000; a <= 0x8000; a += 0x1000)
    expected.push_back(kProgressPrefix + FormatNumber(a, 16, 5));
  EXPECT_EQ(window_.StatusesStarting(kProgressPrefix), expected);
  EXPECT_EQ(window_->Status(), "芯片是空的, 在地址空间: 00000~~07FFF");

  // The header: range fields and command, the rest as the window built it.
  const auto h = LastHeader();
  EXPECT_EQ(h[hdr::kCommand], OpBlankCheck);
  EXPECT_EQ(h.RangeStart(), 0u);
  EXPECT_EQ(h.RangeEnd(), 0x7FFFu);
  EXPECT_EQ(h.ChipTypeOf(), ChipType::kMtp);
  EXPECT_EQ(h.Marker(), kMarkerValue);
  // The scan runs under the short set, applied once the start was
  // acknowledged.
  const auto timeouts = Calls("TIMEOUTS");
  ASSERT_FALSE(timeouts.empty());
  EXPECT_EQ(timeouts.back(), "5 5 5 5 5");
}

TEST_F(BlankCheck, ChipNotBlankNamesTheFirstProgrammedAddressAfterSilence) {
  SetRange(0x0100, 0x01FF);
  device_.chip().memory[0x0150] = 0x00;
  device_.chip().memory[0x0180] = 0x00;  // a later one is not the answer
  Run(OpBlankCheck);

  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), std::string(kNotBlankPrefix) + "00150");
  EXPECT_EQ(window_.StatusesStarting(kProgressPrefix),
            std::vector<std::string>{std::string(kProgressPrefix) + "00150"});
  // The silence that ends the scan: 30 tries of at most 10 ms.
  EXPECT_EQ(TrailingEmptyReads(), 30);
}

TEST_F(BlankCheck, OneByteRangeScansUntilAnAddressBeyondTheEnd) {
  SetRange(0x0010, 0x0010);
  // An address equal to the end does not end the scan; the next one does.
  ScriptAfterHeader(OpBlankCheck, {'O', 'K', 0x00, 0x00, 0x10, 0x00, 0x00, 0x11});
  Run(OpBlankCheck);
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(window_.StatusesStarting(kProgressPrefix),
            (std::vector<std::string>{std::string(kProgressPrefix) + "00010",
                                      std::string(kProgressPrefix) + "00011"}));
  EXPECT_EQ(window_->Status(), "芯片是空的, 在地址空间: 00010~~00010");
}

TEST_F(BlankCheck, OneByteRangeAgainstTheModel) {
  SetRange(0x0010, 0x0010);
  Run(OpBlankCheck);
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(window_->Status(), "芯片是空的, 在地址空间: 00010~~00010");
  device_.chip().memory[0x0010] = 0x7F;
  Run(OpBlankCheck);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), std::string(kNotBlankPrefix) + "00010");
}

// The failure table, row by row.

TEST_F(BlankCheck, ProgrammerBusyShowsTheConnectionErrorAndArmsTheReconnectTimer) {
  SetRange(0, 0xFF);
  App().count_failure = true;
  device_.faults().silent = true;
  Run(OpBlankCheck);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), kConnectionErrorText);
  EXPECT_FALSE(App().count_failure);
  ASSERT_EQ(window_->ArmedTimers().count(ctl::kReconnectTimer), 1u);
  EXPECT_EQ(window_->ArmedTimers().at(ctl::kReconnectTimer), 1000u);
  EXPECT_TRUE(window_->Messages().empty());
}

// The in-progress text must not stay as if the check were still running.
TEST_F(BlankCheck, NoStartAcknowledgementSaysTheCheckFailed) {
  SetRange(0, 0xFF);
  device_.faults().silent_after_header = OpBlankCheck;
  Run(OpBlankCheck);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), "芯片空检查失败! [编程器无应答]");
  EXPECT_EQ(window_.Statuses().size(), 2u);
  EXPECT_EQ(TrailingEmptyReads(), 50);
  EXPECT_TRUE(window_->ArmedTimers().empty());
}

TEST_F(BlankCheck, VoltageErrorReportsItAndGivesNoVerdict) {
  SetRange(0, 0xFF);
  App().function_flags = fn::kBuzzer;
  device_.faults().voltage_error = '1';
  Run(OpBlankCheck);
  EXPECT_TRUE(App().link_fault);
  ASSERT_EQ(window_->Messages().size(), 1u);
  EXPECT_EQ(window_->Messages()[0].caption, "警  告");
  EXPECT_EQ(window_->Messages()[0].text, "检测到Vdd输出电压过低!编程操作将被异常中止!");
  EXPECT_EQ(window_->Messages()[0].icon, MsgIcon::kWarning);
  ASSERT_EQ(window_->Beeps().size(), 3u);
  for (const auto& b : window_->Beeps()) {
    EXPECT_EQ(b.hz, 1000u);
    EXPECT_EQ(b.ms, 100u);
  }
  EXPECT_EQ(window_->Status(), "编程电压错误,编程失败");
  EXPECT_TRUE(window_.StatusesStarting(kNotBlankPrefix).empty());
  EXPECT_TRUE(window_.StatusesStarting(kProgressPrefix).empty());

  // Without the buzzer the same report, silently.
  App().function_flags = 0;
  Run(OpBlankCheck);
  EXPECT_EQ(window_->Beeps().size(), 3u);
  EXPECT_EQ(window_->Messages().size(), 2u);
}

TEST_F(BlankCheck, AcknowledgedButNoAddressIsNotBlankAtTheStart) {
  SetRange(0x0100, 0x01FF);
  ScriptAfterHeader(OpBlankCheck, {'O', 'K'});
  Run(OpBlankCheck);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), std::string(kNotBlankPrefix) + "00100");
}

TEST_F(BlankCheck, SilenceBelowTheEndIsReportedAtTheLastAddressReached) {
  SetRange(0, 0x7FFF);
  device_.faults().silent_at_address = 0x2800;
  Run(OpBlankCheck);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_.StatusesStarting(kProgressPrefix),
            (std::vector<std::string>{std::string(kProgressPrefix) + "01000",
                                      std::string(kProgressPrefix) + "02000",
                                      std::string(kProgressPrefix) + "02800"}));
  EXPECT_EQ(window_->Status(), std::string(kNotBlankPrefix) + "02800");
}

TEST_F(BlankCheck, AReplyThatIsNotAnAddressEndsTheScan) {
  SetRange(0x0200, 0x02FF);
  device_.faults().answer_no = OpBlankCheck;  // "NO" where an address belongs
  Run(OpBlankCheck);
  EXPECT_TRUE(App().link_fault);
  EXPECT_TRUE(window_.StatusesStarting(kProgressPrefix).empty());
  EXPECT_EQ(window_->Status(), std::string(kNotBlankPrefix) + "00200");
}

// What the chip model answers to a scan.

TEST_F(BlankCheck, ChipModelReadProtectedAndDifferingChipsAreNotBlank) {
  SetRange(0x0400, 0x07FF);
  device_.chip().read_protect = true;
  Run(OpBlankCheck);
  EXPECT_EQ(window_->Status(), std::string(kNotBlankPrefix) + "00400");

  device_.chip().read_protect = false;
  device_.chip().differs_at = 0x0555;
  Run(OpBlankCheck);
  EXPECT_EQ(window_->Status(), std::string(kNotBlankPrefix) + "00555");

  // A programmed byte outside the range does not count.
  device_.chip().differs_at = -1;
  device_.chip().memory[0x0800] = 0;
  Run(OpBlankCheck);
  EXPECT_FALSE(App().link_fault);
}

TEST_F(BlankCheck, ChipModelReportsComeAFewMillisecondsApartAtTheDefaultStep) {
  SetRange(0, 0x7FFF);
  const int64_t t0 = clock_.NowUs();
  Run(OpBlankCheck);
  ASSERT_FALSE(App().link_fault);
  // Eight reports, each read with its 50 ms pause: the PC, not the chip, sets
  // the pace, and no read of a report ever timed out.
  const int64_t took = clock_.NowUs() - t0;
  EXPECT_GT(took, 8 * 50'000);
  EXPECT_LT(took, 1'000'000);
  for (const std::string& r : Calls("READ")) EXPECT_NE(r.rfind("0/", 0), 0u) << r;
}

}  // namespace
}  // namespace zvp::test
