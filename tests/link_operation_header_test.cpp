// The operation header built from the operator's choices (read from the
// window, or made by hand with no window at all), the value queries and the
// supply-voltage error report.
#include <cstring>

#include "core/operation_boxes.h"
#include "core/window_surface.h"
#include "ui/control_ids.h"
#include "image/number_text.h"
#include "link/operation_header.h"
#include "link/serial_link.h"
#include "tests/support/link_fixture.h"
#include "ui/dispatcher.h"
#include "ui/window_choices.h"
#include "tests/support/header_from_window.h"

namespace zvp::test {
namespace {

using Header = LinkTest;

TEST_F(Header, ConnectHeaderWithNothingElseSet) {
  for (int id : {ctl::kChipOtp, ctl::kVdd50, ctl::kVpp12}) window_->Click(id);
  App().code_buffer[0x3C] = 0x11;
  App().code_buffer[0x3F] = 0x44;
  App().header.Fill(0x55);
  BuildHeaderFromWindow();
  App().header.SetCommand(cmd::kConnect);
  const std::array<uint8_t, 21> expected = {'S',  'T',  'A',  'R',  1,    0,    0x55,
                                            0x55, 0,    0,    1,    0x01, 0x11, 0xFF,
                                            0xFF, 0x44, 0x55, 0x55, 0x55, 0x55, 1};
  EXPECT_EQ(App().header.bytes, expected);
}

// Only an enabled, ticked supply button writes the chip-supply bits. With an
// OTP chip and 3.3 V stored, the start-up ticks the greyed 3.3 V button and
// unticks 5.0 V: neither counts, and the bits stay as the header had them.
TEST_F(Header, AGreyedSupplyChoiceKeepsTheSupplyBitsOfTheHeaderBefore) {
  window_->Click(ctl::kChipOtp);
  SelectRadio(ctl::kVdd33);  // as the stored 3.3 V at start-up
  window_->Click(ctl::kVpp12);
  ASSERT_FALSE(window_->IsEnabled(ctl::kVdd33));
  App().header.Fill(0x55);
  BuildHeaderFromWindow();
  EXPECT_EQ(App().header.ChipTypeOf(), ChipType::kOtp);
  EXPECT_EQ(App().header[hdr::kVoltage], 0x55);  // 12 V clears bit 7, which was clear
  window_->Click(ctl::kVppVcc);
  App().header.Fill(0x55);
  BuildHeaderFromWindow();
  EXPECT_EQ(App().header[hdr::kVoltage], 0xD5);
}

TEST_F(Header, SupplyByteCombinesChipSupplyAndProgrammingVoltage) {
  struct Case {
    int vdd, vpp;
    uint8_t expected;
  };
  window_->Click(ctl::kChipMtp);
  for (const Case& c : {Case{ctl::kVdd33, ctl::kVppVcc, 0x82}, Case{ctl::kVdd50, ctl::kVpp12, 0x01},
                        Case{ctl::kVdd50, ctl::kVppVcc, 0x81}}) {
    window_->Click(c.vdd);
    window_->Click(c.vpp);
    App().header.Fill(0);
    BuildHeaderFromWindow();
    EXPECT_EQ(App().header[hdr::kVoltage], c.expected);
  }
}

TEST_F(Header, RangeFieldsSplitTheEndAddress) {
  App().header.SetRange(0x0000, 0x1FFF);
  EXPECT_EQ(App().header[hdr::kStartHigh], 0);
  EXPECT_EQ(App().header[hdr::kStartMiddle], 0);
  EXPECT_EQ(App().header[hdr::kStartLow], 0);
  EXPECT_EQ(App().header[hdr::kEndHigh], 0);
  EXPECT_EQ(App().header[hdr::kEndMiddle], 0x1F);
  EXPECT_EQ(App().header[hdr::kEndLow], 0xFF);
  App().header.SetRange(0x012345, 0x0ABCDE);
  EXPECT_EQ(App().header[hdr::kStartHigh], 0x01);
  EXPECT_EQ(App().header[hdr::kStartMiddle], 0x23);
  EXPECT_EQ(App().header[hdr::kStartLow], 0x45);
  EXPECT_EQ(App().header[hdr::kEndHigh], 0x0A);
  EXPECT_EQ(App().header[hdr::kEndMiddle], 0xBC);
  EXPECT_EQ(App().header[hdr::kEndLow], 0xDE);
}

TEST_F(Header, ChecksumBytesComeFromTheChecksumBox) {
  struct Case {
    const char* box;
    uint8_t hi, lo;
  };
  for (const Case& c : {Case{"1A2B", 0x1A, 0x2B}, Case{"XXXX", 0xFF, 0xFF}, Case{"", 0, 0},
                        Case{"8000", 0x80, 0x00}}) {
    window_->SetText(ctl::kChecksumBox, c.box);
    BuildHeaderFromWindow();
    EXPECT_EQ(App().header[hdr::kChecksumHigh], c.hi) << c.box;
    EXPECT_EQ(App().header[hdr::kChecksumLow], c.lo) << c.box;
  }
}

TEST_F(Header, OptionFlagsCountOnlyEnabledTickedBoxes) {
  window_->Click(ctl::kChipMtp);
  for (int id : {ctl::kAutoReadProtect, ctl::kAutoLdcProtect, ctl::kAutoBlankCheck,
                 ctl::kAutoHwWriteProtect, ctl::kEnableSmart, ctl::kAutoVerify,
                 ctl::kEraseBeforeProgram})
    window_.Tick(id, true);
  BuildHeaderFromWindow();
  EXPECT_EQ(App().option_flags, 0x7Fu);
  EXPECT_EQ(App().header[hdr::kOptions], 0x7F);

  // The MTP-only boxes, still ticked, are greyed for an OTP chip and drop out.
  window_->Click(ctl::kChipOtp);
  BuildHeaderFromWindow();
  EXPECT_EQ(App().option_flags, opt::kReadProtect | opt::kBlankCheck | opt::kVerify);
  EXPECT_EQ(App().header[hdr::kOptions], 0x25);
}

// The window's reading rules: the chip type whatever the state of its
// buttons (MTP over OTP), the rest only from boxes both enabled and ticked
// (3.3 V over 5.0 V, Vcc over 12 V).
TEST_F(Header, TheWindowIsReadByItsRules) {
  window_->Click(ctl::kChipMtp);
  window_->SetChecked(ctl::kChipOtp, true);
  window_->SetEnabled(ctl::kChipMtp, false);
  window_->SetChecked(ctl::kVdd50, true);
  window_->SetChecked(ctl::kVdd33, true);
  window_->SetChecked(ctl::kVpp12, true);
  window_->SetChecked(ctl::kVppVcc, true);
  window_.Tick(ctl::kAutoVerify, true);
  window_.Tick(ctl::kEnableSmart, true);
  OperatorChoices c = ReadOperatorChoices();
  EXPECT_EQ(c.chip, ChipType::kMtp);
  EXPECT_EQ(c.supply, Supply::k3V3);
  EXPECT_EQ(c.vpp_from_supply, true);
  EXPECT_EQ(c.option_flags, opt::kVerify | opt::kSmart);

  for (int id : {ctl::kVdd33, ctl::kVppVcc, ctl::kEnableSmart}) window_->SetEnabled(id, false);
  c = ReadOperatorChoices();
  EXPECT_EQ(c.supply, Supply::k5V0);
  EXPECT_EQ(c.vpp_from_supply, false);
  EXPECT_EQ(c.option_flags, opt::kVerify);

  for (int id : {ctl::kChipOtp, ctl::kChipMtp, ctl::kVdd50, ctl::kVpp12})
    window_->SetChecked(id, false);
  c = ReadOperatorChoices();
  EXPECT_FALSE(c.chip.has_value());
  EXPECT_FALSE(c.supply.has_value());
  EXPECT_FALSE(c.vpp_from_supply.has_value());
}

// The checksum box is all the header reads of the window's boxes, and only
// through the operations' boxes: with no window installed, a stand-in for
// them is enough to build the header from a record.
class OnlyTheChecksumBox final : public OperationBoxes {
 public:
  std::string text;
  std::string ChecksumText() override { return text; }
  void ShowChecksum(const std::string&) override {}
  std::string AddressText(RangeBox) override { return {}; }
  void ShowAddress(RangeBox, const std::string&) override {}
  std::string FileName() override { return {}; }
  void ShowFileName(const std::string&) override {}
  void ShowPassCount(const std::string&) override {}
  void ShowFailCount(const std::string&) override {}
  std::string ViewAddressText() override { return {}; }
  void ShowViewAddress(const std::string&) override {}
  bool ViewShowsChip() override { return false; }
  bool ViewShowsAscii() override { return false; }
  bool DebugModeTicked() override { return false; }
  void ArmReconnectTimer(uint32_t) override {}
};

TEST_F(Header, ARecordBuildsTheHeaderWithoutAWindow) {
  InstallWindow(nullptr);
  OnlyTheChecksumBox boxes;
  App().boxes = &boxes;
  boxes.text = "12G4";  // no hex: the parse failure value
  OperatorChoices c;
  c.chip = ChipType::kOtp;
  c.supply = Supply::k3V3;
  c.vpp_from_supply = true;
  c.option_flags = opt::kReadProtect | opt::kErase;
  App().header.Fill(0x55);
  BuildOperationHeader(c);
  EXPECT_EQ(App().header[hdr::kChipType], 1);
  EXPECT_EQ(App().header[hdr::kOptions], 0x41);
  EXPECT_EQ(App().option_flags, 0x41u);
  EXPECT_EQ(App().header[hdr::kChecksumHigh], 0xFF);
  EXPECT_EQ(App().header[hdr::kChecksumLow], 0xFF);
  EXPECT_EQ(App().header[hdr::kVoltage], 0x82);

  // Choices left open keep what the header held; 12 V clears bit 7 alone.
  boxes.text = "0A0B";
  OperatorChoices open;
  open.vpp_from_supply = false;
  App().header.Fill(0xC3);
  BuildOperationHeader(open);
  EXPECT_EQ(App().header[hdr::kChipType], 0xC3);
  EXPECT_EQ(App().header[hdr::kOptions], 0);
  EXPECT_EQ(App().header[hdr::kChecksumHigh], 0x0A);
  EXPECT_EQ(App().header[hdr::kChecksumLow], 0x0B);
  EXPECT_EQ(App().header[hdr::kVoltage], 0x43);
  App().boxes = nullptr;
}

using Query = LinkTest;

TEST_F(Query, HexTripleTakesBytesNotTheTextTheySpell) {
  OpenQuietly();
  DeviceSends({0x00, 0x12, 0x34});
  EXPECT_EQ(QueryHexTriple(), 0x1234u);
  EXPECT_FALSE(App().link_fault);

  clock_.SleepUs(100'000);
  DeviceSends({'1', 'A', '3'});
  EXPECT_EQ(QueryHexTriple(), 0x314133u);
  EXPECT_FALSE(App().link_fault);
}

TEST_F(Query, HexTripleRejectsTextOutsideTheHexSet) {
  OpenQuietly();
  DeviceSends({'N', 'O', 0x00});
  EXPECT_EQ(QueryHexTriple(), 0u);
  EXPECT_TRUE(App().link_fault);
}

TEST_F(Query, WordIsHighByteFirstAndZeroWhenNothingCame) {
  OpenQuietly();
  SetLinkTimeouts(kReplyTimeouts);
  DeviceSends({0x12, 0x34});
  EXPECT_EQ(QueryWord(), 0x1234);
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(QueryWord(), 0);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(Calls("READ").size(), 2u + 30u);  // 30 tries for the missing word
}

using Voltage = LinkTest;

TEST_F(Voltage, ReportNamesTheFaultThenTheAbort) {
  struct Case {
    uint8_t kind;
    const char* first;
  };
  for (const Case& c : {Case{'1', "检测到Vdd输出电压过低!"}, Case{'2', "检测到Vdd输出电压过高!"},
                        Case{'3', "检测到Vpp输出电压过低!"}, Case{'4', "检测到Vpp输出电压过高!"},
                        Case{'9', "检测到未知错误!"}, Case{0, "检测到未知错误!"}}) {
    const size_t shown = window_->Messages().size();
    App().link_fault = false;
    const uint8_t reply[2] = {'E', c.kind};
    VoltageFault(reply);
    EXPECT_TRUE(App().link_fault);
    ASSERT_EQ(window_->Messages().size(), shown + 1);
    const MessageBox box = window_->Messages().back();
    EXPECT_EQ(box.text, std::string(c.first) + "编程操作将被异常中止!");
    EXPECT_EQ(box.caption, "警  告");
    EXPECT_EQ(box.icon, MsgIcon::kWarning);
    EXPECT_EQ(window_->Status(), "编程电压错误,编程失败");
  }
  EXPECT_TRUE(window_->Beeps().empty());  // buzzer off
}

TEST_F(Voltage, BuzzerBeepsThreeTimesBeforeTheBox) {
  App().function_flags = fn::kBuzzer | fn::kShowCounters;
  const uint8_t reply[2] = {'E', '3'};
  const int64_t t0 = clock_.NowUs();
  VoltageFault(reply);
  ASSERT_EQ(window_->Beeps().size(), 3u);
  for (const auto& b : window_->Beeps()) {
    EXPECT_EQ(b.hz, 1000u);
    EXPECT_EQ(b.ms, 100u);
  }
  EXPECT_EQ(Calls("DELAY"), (std::vector<std::string>{"100", "100"}));
  EXPECT_EQ(clock_.NowUs() - t0, 200'000);
}

}  // namespace
}  // namespace zvp::test
