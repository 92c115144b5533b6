// Programming the chip against the virtual programmer with virtual time:
// from the programmer memory (command 11) and streamed from the PC (command
// 19), with the progress texts, the verdicts, the failure tables of both
// forms and the chip model's refusals.
#include <string>
#include <vector>

#include "chipops/chip_command.h"
#include "chipops/program_chip.h"
#include "image/code_buffer.h"
#include "image/number_text.h"
#include "tests/support/chip_op_fixture.h"

namespace zvp::test {
namespace {

constexpr char kInProgress[] = "请稍候,正在编程芯片......";
constexpr char kProgressPrefix[] = "请稍候,正在编程芯片,  地址: ";  // command 11
constexpr char kDirectPrefix[] = "请稍候,正在编程芯片, 地址: ";     // command 19
constexpr char kProgrammed[] = "编程成功";
constexpr char kReadInfoFailed[] = "编程芯片失败! [读取编程信息错误]";
constexpr char kChecksumFailed[] = "编程芯片失败! [校验和错]";
constexpr char kResetText[] =
    "OK,检测到 ZVP-V2.0C 已复位!请点击[下载文件代码]按钮以刷新编程器内存代码";
constexpr char kSendWarning[] =
    "发送数据校验和错误!\n请尝试重新编程\n注意: 烧写时请不要切换当前窗口\n"
    "或启动其它需要实时处理的软件,\n以免影响下载稳定性";

uint8_t Pattern(uint32_t a) {
  return static_cast<uint8_t>((a * 13 + (a >> 8) * 5 + 3) & 0xFF);
}

// ---------------------------------------------------------------------------
// Command 11: from the programmer memory.

class ProgramChip : public ChipOpTest {
 protected:
  void SetUp() override {
    ChipOpTest::SetUp();
    for (uint32_t a = 0; a < kSimChipSize; ++a) device_.memory()[a] = Pattern(a);
  }
};

TEST_F(ProgramChip, ProgramsTheRangeFromTheMemoryAndFollowsTheReportsToTheEnd) {
  SetRange(0x0100, 0x2FFF);
  Run(OpProgramChip);

  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(window_.Statuses().front(), kInProgress);
  EXPECT_EQ(window_->Status(), kProgrammed);
  const std::vector<std::string> expected{std::string(kProgressPrefix) + "01000",
                                          std::string(kProgressPrefix) + "02000",
                                          std::string(kProgressPrefix) + "02FFF"};
  EXPECT_EQ(window_.StatusesStarting(kProgressPrefix), expected);
  const auto h = LastHeader();
  EXPECT_EQ(h[hdr::kCommand], OpProgramChip);
  EXPECT_EQ(h.RangeStart(), 0x0100u);
  EXPECT_EQ(h.RangeEnd(), 0x2FFFu);
  // The chip holds the memory over the range and nothing outside it.
  const auto& chip = device_.chip().memory;
  EXPECT_EQ(chip[0x00FF], 0xFF);
  EXPECT_EQ(chip[0x3000], 0xFF);
  for (uint32_t a = 0x0100; a <= 0x2FFF; ++a) ASSERT_EQ(chip[a], Pattern(a)) << a;
}

TEST_F(ProgramChip, TheScanEndsAtTheEndAddressItselfNotOnePast) {
  SetRange(0, 0x00FF);
  // A report equal to the end ends the scan; the next two bytes are the
  // verdict, not another address.
  ScriptAfterHeader(OpProgramChip, {'O', 'K', 0x00, 0x00, 0x80, 0x00, 0x00, 0xFF, 'O', 'K'});
  Run(OpProgramChip);
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(window_->Status(), kProgrammed);
  EXPECT_EQ(window_.StatusesStarting(kProgressPrefix).back(),
            std::string(kProgressPrefix) + "000FF");
}

TEST_F(ProgramChip, OneByteRangeReadsNoAddressButTheVerdictAtOnce) {
  SetRange(0x0040, 0x0040);
  Run(OpProgramChip);
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(window_->Status(), kProgrammed);
  EXPECT_TRUE(window_.StatusesStarting(kProgressPrefix).empty());
  EXPECT_EQ(device_.chip().memory[0x0040], Pattern(0x0040));
  // After the start acknowledgement only the verdict's two reads.
  const auto reads = Calls("READ");
  ASSERT_GE(reads.size(), 4u);
  EXPECT_EQ(reads[reads.size() - 2], "1/1 4F");
  EXPECT_EQ(reads.back(), "1/1 4B");
}

TEST_F(ProgramChip, SilenceBelowTheEndIsAFailureToReadTheProgrammingInformation) {
  SetRange(0, 0x0FFF);
  device_.faults().silent_at_address = 0x0800;
  Run(OpProgramChip);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_.StatusesStarting(kProgressPrefix),
            std::vector<std::string>{std::string(kProgressPrefix) + "00800"});
  EXPECT_EQ(window_->Status(), kReadInfoFailed);
  // The 9 ms set of the header exchange: 30 tries, about 540 ms.
  EXPECT_EQ(TrailingEmptyReads(), 30);
  EXPECT_EQ(Calls("TIMEOUTS").back(), "9 9 9 9 9");
}

TEST_F(ProgramChip, AVerdictOtherThanOkOrNoneIsAChecksumError) {
  SetRange(0, 0x00FF);
  device_.faults().answer_no = OpProgramChip;
  Run(OpProgramChip);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), kChecksumFailed);
  EXPECT_TRUE(window_->Messages().empty());  // only the direct form warns

  device_.faults().answer_no = kNoCommand;
  ScriptAfterHeader(OpProgramChip, {'O', 'K', 0x00, 0x01, 0x00});  // no verdict
  Run(OpProgramChip);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), kChecksumFailed);
  EXPECT_EQ(TrailingEmptyReads(), 50);
}

TEST_F(ProgramChip, ProgrammerBusyLeavesTheLinkTextAndArmsNoTimer) {
  SetRange(0, 0x00FF);
  App().count_failure = true;
  device_.faults().silent = true;
  Run(OpProgramChip);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), "编程器连接错误! 编程器可能正忙,请稍候再试!");
  EXPECT_TRUE(window_->ArmedTimers().empty());
  EXPECT_TRUE(App().count_failure);
}

TEST_F(ProgramChip, NoStartAcknowledgementOrVoltageErrorStopsWithoutAVerdict) {
  SetRange(0, 0x00FF);
  device_.faults().silent_after_header = OpProgramChip;
  Run(OpProgramChip);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), "编程芯片失败! [读取编程信息错误]");

  device_.faults().silent_after_header = kNoCommand;
  device_.faults().voltage_error = '3';
  Run(OpProgramChip);
  EXPECT_TRUE(App().link_fault);
  ASSERT_EQ(window_->Messages().size(), 1u);
  EXPECT_EQ(window_->Messages()[0].text, "检测到Vpp输出电压过低!编程操作将被异常中止!");
  EXPECT_TRUE(window_->Beeps().empty());  // buzzer off
  EXPECT_EQ(window_->Status(), "编程电压错误,编程失败");
  EXPECT_TRUE(window_.StatusesStarting(kProgressPrefix).empty());
  EXPECT_EQ(device_.chip().memory[0], 0xFF);  // the programmer touched nothing
}

// The chip model: what an OTP chip and a protected chip do with programming.

TEST_F(ProgramChip, ChipModelOtpOnlyClearsBitsAndSaysNoWhenABitMustRise) {
  SetRange(0, 0x000F);
  device_.chip().type = SimChipType::kOtp;
  Run(OpProgramChip);  // a blank OTP chip takes anything
  EXPECT_FALSE(App().link_fault);
  for (uint32_t a = 0; a <= 0x0F; ++a) ASSERT_EQ(device_.chip().memory[a], Pattern(a));

  // Programming it again with data that needs zeros raised: ANDed, refused.
  for (uint32_t a = 0; a <= 0x0F; ++a)
    device_.memory()[a] = static_cast<uint8_t>(~Pattern(a) | 0x0F);
  Run(OpProgramChip);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), kChecksumFailed);
  for (uint32_t a = 0; a <= 0x0F; ++a)
    ASSERT_EQ(device_.chip().memory[a], Pattern(a) & device_.memory()[a]);

  // Data that only clears bits is accepted.
  for (uint32_t a = 0; a <= 0x0F; ++a) device_.memory()[a] = 0x00;
  Run(OpProgramChip);
  EXPECT_FALSE(App().link_fault);
}

TEST_F(ProgramChip, ChipModelProtectedChipsRefuseAndKeepTheirCode) {
  SetRange(0, 0x00FF);
  for (bool hw : {true, false}) {
    device_.chip().hw_write_protect = hw;
    device_.chip().read_protect = !hw;
    Run(OpProgramChip);
    EXPECT_TRUE(App().link_fault);
    EXPECT_EQ(window_->Status(), kChecksumFailed);
    EXPECT_EQ(device_.chip().memory[0x10], 0xFF);
  }
  // LDC protection does not stop programming.
  device_.chip().read_protect = false;
  device_.chip().ldc_protect = true;
  Run(OpProgramChip);
  EXPECT_FALSE(App().link_fault);
}

// ---------------------------------------------------------------------------
// Command 19: streamed from the PC.

class ProgramChipDirect : public ChipOpTest {
 protected:
  void SetUp() override {
    ChipOpTest::SetUp();
    window_.Tick(ctl::kDebugMode, true);
    for (uint32_t a = 0; a < 0x8008; ++a) App().code_buffer[a] = Pattern(a);
  }
  // The checksum box as the guards require: the buffer sum over the range.
  void SetRangeWithSum(uint32_t first, uint32_t last) {
    SetRange(first, last);
    window_->SetText(ctl::kChecksumBox,
                     FormatNumber(BufferChecksum(App().code_buffer, first, last), 16, 4));
  }
  // The stream as the programmer received it: all data writes joined.
  std::string StreamHex() const {
    std::string all;
    for (const std::string& w : DataWrites()) all += w.substr(w.find(' ') + 1);
    return all;
  }
};

TEST_F(ProgramChipDirect, StreamsTheRangeInEightByteWritesWithAStatusEvery128Bytes) {
  SetRangeWithSum(0, 0x0FFF);
  Run(OpProgramChipDirect);

  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(window_->Status(), kProgrammed);
  const auto writes = DataWrites();
  ASSERT_EQ(writes.size(), 512u);
  for (const std::string& w : writes) ASSERT_EQ(w.substr(0, 4), "8/8 ");
  EXPECT_EQ(StreamHex(), HexBytes(&App().code_buffer[0], 0x1000));

  std::vector<std::string> expected;
  for (uint32_t a = 0x80; a < 0x1000; a += 0x80)
    expected.push_back(kDirectPrefix + FormatNumber(a, 16, 4));
  EXPECT_EQ(window_.StatusesStarting(kDirectPrefix), expected);
  EXPECT_EQ(expected.front(), std::string(kDirectPrefix) + "0080");

  const auto h = LastHeader();
  EXPECT_EQ(h[hdr::kCommand], OpProgramChipDirect);
  EXPECT_EQ(h.Checksum(), BufferChecksum(App().code_buffer, 0, 0x0FFF));
  for (uint32_t a = 0; a < 0x1000; ++a) ASSERT_EQ(device_.chip().memory[a], Pattern(a));
}

TEST_F(ProgramChipDirect, TheStreamHasNoPauseBetweenWrites) {
  SetRangeWithSum(0, 0x03FF);
  Run(OpProgramChipDirect);
  ASSERT_FALSE(App().link_fault);
  const auto names = CallNames();
  size_t first_data = 0, verdict_read = 0, writes = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == "WRITE" && ++writes == 2) first_data = i;
    if (names[i] == "READ" && first_data > 0 && verdict_read == 0) verdict_read = i;
  }
  ASSERT_GT(first_data, 0u);
  ASSERT_GT(verdict_read, first_data);
  EXPECT_EQ(writes, 1u + 0x400 / 8);
  for (size_t i = first_data; i < verdict_read; ++i) ASSERT_NE(names[i], "DELAY") << i;
}

TEST_F(ProgramChipDirect, AShortRangeStillGoesOutAsOneWholeWrite) {
  App().code_buffer[5] = 0xA5;  // after the range, inside the write
  SetRangeWithSum(0, 0x0004);
  Run(OpProgramChipDirect);
  EXPECT_FALSE(App().link_fault);
  const auto writes = DataWrites();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0], "8/8 " + HexBytes(&App().code_buffer[0], 8));
  // The padding is not programmed.
  EXPECT_EQ(device_.chip().memory[4], Pattern(4));
  EXPECT_EQ(device_.chip().memory[5], 0xFF);
  EXPECT_TRUE(window_.StatusesStarting(kDirectPrefix).empty());
}

TEST_F(ProgramChipDirect, AnUnalignedRangeRoundsUpAndCountsFromItsStart) {
  SetRangeWithSum(0x0123, 0x0456);
  Run(OpProgramChipDirect);
  EXPECT_FALSE(App().link_fault);
  const uint32_t length = 0x0456 - 0x0123 + 1;
  EXPECT_EQ(DataWrites().size(), (length + 7) / 8);
  EXPECT_EQ(StreamHex(), HexBytes(&App().code_buffer[0x0123], (length + 7) / 8 * 8));
  const auto progress = window_.StatusesStarting(kDirectPrefix);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front(), std::string(kDirectPrefix) + "01A3");
}

TEST_F(ProgramChipDirect, AVerdictOtherThanOkWarnsThenShowsTheChecksumError) {
  SetRange(0, 0x00FF);
  window_->SetText(ctl::kChecksumBox, "1A2B");  // not the buffer's sum
  // The warning box comes before the verdict text: note the status line at
  // the moment the box is shown.
  std::string status_at_box;
  window_.OnMessageBox([&](const MessageBox&) { status_at_box = window_->Status(); });
  Run(OpProgramChipDirect);

  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(LastHeader().Checksum(), 0x1A2B);
  const auto boxes = window_->Messages();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "警 告");
  EXPECT_EQ(boxes[0].text, kSendWarning);
  EXPECT_EQ(boxes[0].icon, MsgIcon::kWarning);
  EXPECT_EQ(boxes[0].buttons, MsgButtons::kOk);
  EXPECT_NE(status_at_box, kChecksumFailed);
  EXPECT_EQ(window_->Status(), kChecksumFailed);

  // The programmer restarts while it judges the stream: its reset message
  // comes where the verdict belongs. Sending again cannot help (the memory
  // is gone with the restart): no box, the reset text, the memory no longer
  // trusted. Before, the box asked to program again.
  SetUp();
  SetRangeWithSum(0, 0x00FF);
  App().memory_loaded = true;
  hook_.after_write = [&](const uint8_t* buf, uint32_t n) {
    if (n == kHeaderSize && buf[hdr::kCommand] == OpProgramChipDirect) {
      DeviceSends({'O', 'K'});
      const std::string reset = kResetMessage;
      DeviceSends(std::vector<uint8_t>(reset.begin(), reset.end()), 200'000);  // after the stream
    }
  };
  device_.faults().silent_after_header = OpProgramChipDirect;
  const size_t boxes_before = window_->Messages().size();
  Run(OpProgramChipDirect);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Messages().size(), boxes_before);
  EXPECT_EQ(window_->Status(), kResetText);
  EXPECT_FALSE(App().memory_loaded);
}

TEST_F(ProgramChipDirect, NoVerdictWaitsAboutSixSecondsUnderTheBlockSet) {
  SetRangeWithSum(0, 0x00FF);
  device_.faults().silent_at_address = 0x0080;  // the programmer hangs midway
  Run(OpProgramChipDirect);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(TrailingEmptyReads(), 100);
  EXPECT_EQ(Calls("TIMEOUTS").back(), "9 50 9 50 9");
  EXPECT_EQ(window_->Messages().size(), 1u);
  EXPECT_EQ(window_->Status(), kChecksumFailed);
}

TEST_F(ProgramChipDirect, ProgrammerBusyShowsTheConnectionErrorAndArmsTheReconnectTimer) {
  SetRangeWithSum(0, 0x00FF);
  App().count_failure = true;
  device_.faults().silent = true;
  Run(OpProgramChipDirect);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), kConnectionErrorText);
  EXPECT_FALSE(App().count_failure);
  EXPECT_EQ(window_->ArmedTimers().at(ctl::kReconnectTimer), 1000u);
  EXPECT_TRUE(DataWrites().empty());
}

TEST_F(ProgramChipDirect, NoStartAcknowledgementOrVoltageErrorSendsNoCode) {
  SetRangeWithSum(0, 0x00FF);
  device_.faults().silent_after_header = OpProgramChipDirect;
  Run(OpProgramChipDirect);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), "编程失败!");
  EXPECT_TRUE(DataWrites().empty());

  device_.faults().silent_after_header = kNoCommand;
  device_.faults().voltage_error = 'x';
  App().function_flags = fn::kBuzzer;
  Run(OpProgramChipDirect);
  EXPECT_TRUE(App().link_fault);
  EXPECT_TRUE(DataWrites().empty());
  ASSERT_EQ(window_->Messages().size(), 1u);
  EXPECT_EQ(window_->Messages()[0].caption, "警  告");
  EXPECT_EQ(window_->Messages()[0].text, "检测到未知错误!编程操作将被异常中止!");
  EXPECT_EQ(window_->Beeps().size(), 3u);
  EXPECT_EQ(window_->Status(), "编程电压错误,编程失败");
}

TEST_F(ProgramChipDirect, APortThatGoesAwayMidStreamEndsTheOperationAtOnce) {
  SetRangeWithSum(0, 0x7FFF);
  int writes = 0;
  hook_.after_write = [&](const uint8_t*, uint32_t) {
    if (++writes == 100) sim_port_.Vanish();
  };
  const int64_t t0 = clock_.NowUs();
  Run(OpProgramChipDirect);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), "编程失败!");
  EXPECT_TRUE(window_->Messages().empty());
  EXPECT_LE(writes, 101);  // the failed write, and no retries of the stream
  EXPECT_LT(clock_.NowUs() - t0, 2'000'000);
}

TEST_F(ProgramChipDirect, ChipModelRefusesWhatTheChipCannotTake) {
  SetRangeWithSum(0, 0x003F);
  device_.chip().hw_write_protect = true;
  Run(OpProgramChipDirect);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(device_.chip().memory[0], 0xFF);

  // An OTP chip already holding zeros where the code has ones.
  device_.chip().hw_write_protect = false;
  device_.chip().type = SimChipType::kOtp;
  device_.chip().memory[0x10] = 0x00;
  Run(OpProgramChipDirect);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(device_.chip().memory[0x10], 0x00);
  EXPECT_EQ(device_.chip().memory[0x11], Pattern(0x11));  // the rest was programmed
  EXPECT_EQ(window_->Messages().size(), 2u);

  // The same stream on a blank OTP chip is fine.
  device_.chip().memory.assign(kSimChipSize, 0xFF);
  Run(OpProgramChipDirect);
  EXPECT_FALSE(App().link_fault);
}

}  // namespace
}  // namespace zvp::test
