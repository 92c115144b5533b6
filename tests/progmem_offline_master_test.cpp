// Making an offline master against the virtual programmer: the refusals, the
// download, the configuration header (command 17) and its "OK".
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ui/control_ids.h"
#include "engine/engine.h"
#include "image/code_buffer.h"
#include "image/number_text.h"
#include "link/operation_header.h"
#include "progmem/offline_master.h"
#include "tests/support/link_fixture.h"
#include "ui/window_events.h"
#include "tests/support/header_from_window.h"

namespace zvp::test {
namespace {

class OfflineMaster : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    ASSERT_TRUE(sim_port_.Open("COM1"));
    App().port_chosen = true;
    App().programmer_found = true;
    dir_ = std::filesystem::temp_directory_path() /
           ("zvp-offline-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    const auto file = dir_ / "app.bin";
    std::ofstream out(file, std::ios::binary);
    for (int i = 0; i < 0x300; ++i) out.put(static_cast<char>(i * 3 + 1));
    out.close();
    window_->SetText(ctl::kFileBox, file.string());
    window_->SetText(ctl::kStartAddress, "0000");
    window_->SetText(ctl::kEndAddress, "02FF");
    for (int id : {ctl::kChipMtp, ctl::kVdd50, ctl::kVppVcc}) window_->Click(id);
    window_.Tick(ctl::kAutoVerify, true);
    device_.config().init_delay_us = 200'000;
  }
  void TearDown() override {
    std::filesystem::remove_all(dir_);
    LinkTest::TearDown();
  }
  Outcome Make() {
    BuildHeaderFromWindow();
    return MakeOfflineMaster();
  }
  // The user double-clicks the status line when it shows a text that
  // begins with `trigger`.
  void StopWhenStatusShows(const std::string& trigger) {
    window_.OnStatus([trigger](const std::string& text) {
      if (text.rfind(trigger, 0) == 0) OnAbortRequested();
    });
  }
  std::filesystem::path dir_;
};

TEST_F(OfflineMaster, WithoutAProgrammerItAsksForTheConnection) {
  App().programmer_found = false;
  App().count_failure = true;
  Make();
  EXPECT_EQ(window_->Status(), "编程器连接错误,编程器可能正忙,请稍候再试!");
  EXPECT_TRUE(App().link_fault);
  EXPECT_FALSE(App().count_failure);
  EXPECT_EQ(window_->ArmedTimers().at(ctl::kReconnectTimer), 1000u);
  EXPECT_TRUE(device_.headers().empty());
}

TEST_F(OfflineMaster, DebugModeIsRefusedWithoutTraffic) {
  window_.Tick(ctl::kDebugMode, true);
  // Declined as a value: the command line's exit status no longer hangs on
  // the words "操作已中止".
  EXPECT_EQ(Make(), Outcome::kDeclined);
  ASSERT_EQ(window_->Messages().size(), 1u);
  EXPECT_EQ(window_->Messages()[0].caption, "提示");
  EXPECT_EQ(window_->Messages()[0].icon, MsgIcon::kWarning);
  EXPECT_EQ(window_->Status(), "操作已中止");
  EXPECT_FALSE(App().link_fault);
  EXPECT_TRUE(device_.headers().empty());
}

TEST_F(OfflineMaster, AnsweringNoSendsNothing) {
  window_.AnswerBoxes({MsgAnswer::kNo});
  EXPECT_EQ(Make(), Outcome::kDeclined);
  ASSERT_EQ(window_->Messages().size(), 1u);
  EXPECT_EQ(window_->Messages()[0].caption, "操作提示");
  EXPECT_EQ(window_->Messages()[0].buttons, MsgButtons::kYesNo);
  EXPECT_EQ(window_->Status(), "操作已中止");
  EXPECT_TRUE(device_.headers().empty());

  // Yes to the master, No to loading a .bin that holds HEX text: no master
  // from the code the programmer memory held before.
  std::ofstream(dir_ / "app.bin", std::ios::binary) << ":0100000055AA\r\n";
  App().memory_loaded = true;
  window_.AnswerBoxes({MsgAnswer::kYes, MsgAnswer::kNo});
  EXPECT_EQ(Make(), Outcome::kDeclined);
  ASSERT_EQ(window_->Messages().size(), 3u);
  EXPECT_EQ(window_->Messages()[2].caption, "确 认");
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), "脱机编程母片制作失败!请尝试重新下载代码再进行该项操作");
  EXPECT_TRUE(device_.headers().empty());
  EXPECT_TRUE(device_.offline_configs().empty());
}

TEST_F(OfflineMaster, TheProgrammerKeepsTheCodeAndTheSettings) {
  EXPECT_EQ(Make(), Outcome::kDone);
  EXPECT_FALSE(App().link_fault) << window_->Status();
  EXPECT_TRUE(window_.StatusShown("写入母片编程配置数据成功!"));
  EXPECT_EQ(window_->Status(),
            "脱机编程母片制作成功!您现在即可通过编程器主板的[编程]按钮进行脱机烧写了");
  // The programmer memory holds the file; the configuration header carries
  // the range, the buffer's sum over it and the window's choices.
  for (uint32_t a = 0; a < 0x300; ++a) ASSERT_EQ(device_.memory()[a], App().code_buffer[a]) << a;
  ASSERT_EQ(device_.offline_configs().size(), 1u);
  const auto& h = device_.offline_configs()[0];
  const uint16_t sum = BufferChecksum(App().code_buffer, 0, 0x2FF);
  EXPECT_EQ(h[hdr::kCommand], cmd::kOfflineConfig);
  EXPECT_EQ(h.RangeStart(), 0u);
  EXPECT_EQ(h.RangeEnd(), 0x2FFu);
  EXPECT_EQ(h.Checksum(), sum);
  EXPECT_EQ(h.ChipTypeOf(), ChipType::kMtp);
  EXPECT_EQ(h[hdr::kVoltage], 0x81);
  EXPECT_EQ(h[hdr::kOptions] & opt::kVerify, opt::kVerify);
  EXPECT_EQ(window_.Text(ctl::kChecksumBox), FormatNumber(sum, 16, 4));
  // A pause of 400 ms before the configuration header.
  const auto delays = Calls("DELAY");
  EXPECT_NE(std::find(delays.begin(), delays.end(), "400"), delays.end());
}

TEST_F(OfflineMaster, ARefusedConfigurationIsReported) {
  device_.faults().answer_no = cmd::kOfflineConfig;
  Make();
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(),
            "写入母片编程配置数据失败!请尝试重新下载代码对母片内存进行初始化后再行写入!");
  EXPECT_TRUE(device_.offline_configs().empty());
}

TEST_F(OfflineMaster, AFailedDownloadMakesNoMaster) {
  device_.faults().no_romok = true;
  Make();
  EXPECT_TRUE(App().link_fault);
  EXPECT_TRUE(window_.StatusShown("初始化编程存储器失败!请尝试重新下载初始化!"));
  EXPECT_EQ(window_->Status(), "脱机编程母片制作失败!请尝试重新下载代码再进行该项操作");
  EXPECT_TRUE(device_.offline_configs().empty());
}

TEST_F(OfflineMaster, AnInterruptedDownloadMakesNoMasterEither) {
  StopWhenStatusShows("[双击这里中断下载]");
  EXPECT_EQ(Make(), Outcome::kInterrupted);
  EXPECT_TRUE(window_.StatusShown("下载过程已被用户中断!"));
  EXPECT_EQ(window_->Status(), "脱机编程母片制作失败!请尝试重新下载代码再进行该项操作");
  EXPECT_TRUE(App().link_fault);
  EXPECT_TRUE(device_.offline_configs().empty());
}

// A stop that came after the last byte went out (while the checksum was
// taken) cut nothing: the master is made. Before, any stop failed it.
TEST_F(OfflineMaster, AStopAfterTheDownloadCompletedStillMakesTheMaster) {
  StopWhenStatusShows("请稍候,得到编程内存检查和");
  Make();
  EXPECT_TRUE(App().user_abort);
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(window_->Status(),
            "脱机编程母片制作成功!您现在即可通过编程器主板的[编程]按钮进行脱机烧写了");
  EXPECT_EQ(device_.offline_configs().size(), 1u);
}

}  // namespace
}  // namespace zvp::test
