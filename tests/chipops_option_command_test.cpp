// The erase, option and protection commands against the virtual programmer
// with virtual time: the verdict texts of every command, the replies that are
// neither "OK" nor "NO", the header they send, and the chip model's rules.
#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/chip_op_fixture.h"

namespace zvp::test {
namespace {

struct Expected {
  uint8_t command;
  const char* in_progress;
  const char* failed;
  const char* done;
};

// The texts as the window shows them, one row per command.
const Expected kCommands[] = {
    {OpEraseMtp, "正在擦除MTP,请稍候......", "擦除芯片失败!", "芯片已擦除!"},
    {OpEnableSmart, "使能芯片SMART系统,请稍候....", "使能芯片SMART系统失败!",
     "芯片SMART系统已使能!"},
    {OpReadProtect, "正在使能芯片读保护,请稍候......", "使能芯片读保护失败!", "芯片读保护已使能!"},
    {OpLdcProtect, "正在使能芯片LDC保护,请稍候......", "使能芯片LDC保护失败!",
     "芯片LDC保护已使能!"},
    {OpHardwareWriteProtect, "正在使能硬件写保护,请稍候......", "使能芯片硬件写保护失败!",
     "芯片硬件写保护成功!"},
};

using OptionCommand = ChipOpTest;

TEST_F(OptionCommand, EachCommandAnsweredOkShowsItsDoneText) {
  for (const Expected& e : kCommands) {
    SCOPED_TRACE(e.command);
    window_.ForgetStatuses();
    Run(e.command);
    EXPECT_FALSE(App().link_fault);
    EXPECT_EQ(window_.Statuses(), (std::vector<std::string>{e.in_progress, e.done}));
    EXPECT_EQ(LastHeader()[hdr::kCommand], e.command);
    // The verdict is the only reply: two bytes, no start acknowledgement.
    const auto reads = Calls("READ");
    ASSERT_GE(reads.size(), 2u);
    EXPECT_EQ(reads[reads.size() - 2], "1/1 4F");
    EXPECT_EQ(reads.back(), "1/1 4B");
  }
}

TEST_F(OptionCommand, EachCommandAnsweredNoShowsItsFailedText) {
  device_.faults().answer_no = kAnyCommand;
  for (const Expected& e : kCommands) {
    SCOPED_TRACE(e.command);
    window_.ForgetStatuses();
    Run(e.command);
    EXPECT_TRUE(App().link_fault);
    EXPECT_EQ(window_.Statuses(), (std::vector<std::string>{e.in_progress, e.failed}));
  }
}

TEST_F(OptionCommand, TheAddressFieldsGoOutAsThePreviousOperationLeftThem) {
  App().header.SetRange(0x0123, 0x0456);
  SetRange(0x0000, 0x7FFF);  // the working range is not written
  App().code_buffer[0x3C] = 0x11;
  App().code_buffer[0x3F] = 0x44;
  Run(OpLdcProtect);
  const auto h = LastHeader();
  EXPECT_EQ(h.RangeStart(), 0x0123u);
  EXPECT_EQ(h.RangeEnd(), 0x0456u);
  EXPECT_EQ(h[hdr::kCodeBytes], 0x11);
  EXPECT_EQ(h[hdr::kCodeBytes + 3], 0x44);
}

// The in-progress text must not stay as if the command were still running:
// an unknown reply, or none, ends in the command's failure text.
TEST_F(OptionCommand, AnotherReplyIsAFailure) {
  ScriptAfterHeader(OpReadProtect, {'O', 'X'});
  Run(OpReadProtect);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), "使能芯片读保护失败!");
  EXPECT_TRUE(window_->Messages().empty());
}

TEST_F(OptionCommand, ASilentProgrammerIsGivenAbout1Point8Seconds) {
  device_.faults().silent_after_header = OpHardwareWriteProtect;
  Run(OpHardwareWriteProtect);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), "使能芯片硬件写保护失败!");
  EXPECT_EQ(TrailingEmptyReads(), 100);
  EXPECT_EQ(Calls("TIMEOUTS").back(), "9 9 9 9 9");
}

TEST_F(OptionCommand, AnAnswerJustInsideTheWaitIsTakenAndOneJustOutsideIsNot) {
  // The header exchange ends about 86 ms after it starts; 100 tries of 18 ms
  // follow.
  ScriptAfterHeader(OpLdcProtect, {'O', 'K'}, 1'700'000);
  Run(OpLdcProtect);
  EXPECT_FALSE(App().link_fault);
  ScriptAfterHeader(OpLdcProtect, {'O', 'K'}, 1'900'000);
  Run(OpLdcProtect);
  EXPECT_TRUE(App().link_fault);
}

TEST_F(OptionCommand, OkFollowedByMoreBytesIsOkAndTheRestIsPurgedNextTime) {
  ScriptAfterHeader(OpLdcProtect, {'O', 'K', 'N', 'O', '!'});
  Run(OpLdcProtect);
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(window_->Status(), "芯片LDC保护已使能!");
  hook_.after_write = nullptr;
  device_.faults().silent_after_header = kNoCommand;
  Run(OpReadProtect);
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(window_->Status(), "芯片读保护已使能!");
}

TEST_F(OptionCommand, NoAnswerToTheHeaderLeavesTheLinkText) {
  device_.faults().silent = true;
  Run(OpEraseMtp);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), "编程器连接错误! 编程器可能正忙,请稍候再试!");
  EXPECT_TRUE(window_->ArmedTimers().empty());
}

TEST_F(OptionCommand, AVoltageErrorReplyIsReportedWithBeepsWhenTheBuzzerIsOn) {
  App().function_flags = fn::kBuzzer;
  device_.faults().voltage_error = '4';
  Run(OpEnableSmart);
  EXPECT_TRUE(App().link_fault);
  ASSERT_EQ(window_->Messages().size(), 1u);
  EXPECT_EQ(window_->Messages()[0].caption, "警  告");
  EXPECT_EQ(window_->Messages()[0].text, "检测到Vpp输出电压过高!编程操作将被异常中止!");
  ASSERT_EQ(window_->Beeps().size(), 3u);
  // Beep, 100 ms, beep, 100 ms, beep.
  const auto delays = Calls("DELAY");
  EXPECT_EQ(std::count(delays.begin(), delays.end(), "100"), 2);
  EXPECT_EQ(window_->Status(), "编程电压错误,编程失败");
  EXPECT_FALSE(device_.chip().smart);
}

// The chip model's rules.

TEST_F(OptionCommand, ChipModelEraseWorksOnMtpOnlyAndClearsEverything) {
  auto& chip = device_.chip();
  chip.memory[0x100] = 0x12;
  chip.smart = chip.read_protect = chip.ldc_protect = chip.hw_write_protect = true;
  Run(OpEraseMtp);
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(chip.memory[0x100], 0xFF);
  EXPECT_FALSE(chip.smart || chip.read_protect || chip.ldc_protect || chip.hw_write_protect);

  chip.type = SimChipType::kOtp;
  chip.memory[0x100] = 0x12;
  Run(OpEraseMtp);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), "擦除芯片失败!");
  EXPECT_EQ(chip.memory[0x100], 0x12);
}

TEST_F(OptionCommand, ChipModelProtectionsStickAndWriteProtectionLocksTheOptions) {
  auto& chip = device_.chip();
  Run(OpReadProtect);
  Run(OpLdcProtect);
  EXPECT_TRUE(chip.read_protect && chip.ldc_protect);
  Run(OpHardwareWriteProtect);
  EXPECT_TRUE(chip.hw_write_protect);
  Run(OpEnableSmart);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), "使能芯片SMART系统失败!");
  EXPECT_FALSE(chip.smart);
  // Setting a protection again is no error.
  Run(OpReadProtect);
  EXPECT_FALSE(App().link_fault);
}

}  // namespace
}  // namespace zvp::test
