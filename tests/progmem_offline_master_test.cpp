// Making an offline master against the virtual programmer: the refusals, the
// download, the configuration header (command 17) and its "OK".
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "image/code_buffer.h"
#include "image/number_text.h"
#include "engine/engine.h"
#include "link/operation_header.h"
#include "progmem/offline_master.h"
#include "tests/support/link_fixture.h"
#include "core/control_ids.h"

namespace zvp::test {
namespace {

// Sets user_abort when a status text begins with `trigger`, as a
// double-click on the status line would then.
class AbortingSurface final : public FakeSurface {
 public:
  explicit AbortingSurface(std::string trigger) : trigger_(std::move(trigger)) {}
  void SetStatus(const std::string& text) override {
    FakeSurface::SetStatus(text);
    if (text.rfind(trigger_, 0) == 0) App().user_abort = true;
  }

 private:
  std::string trigger_;
};

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
    surface_.texts_[ctl::kFileBox] = file.string();
    surface_.texts_[ctl::kStartAddress] = "0000";
    surface_.texts_[ctl::kEndAddress] = "02FF";
    surface_.checked_[ctl::kChipMtp] = true;
    surface_.checked_[ctl::kVdd50] = true;
    surface_.checked_[ctl::kVppVcc] = true;
    surface_.checked_[ctl::kAutoVerify] = true;
    device_.config().init_delay_us = 200'000;
  }
  void TearDown() override {
    std::filesystem::remove_all(dir_);
    LinkTest::TearDown();
  }
  void Make() {
    BuildOperationHeader();
    MakeOfflineMaster();
  }
  bool Shown(const std::string& text) const {
    return std::find(surface_.statuses_.begin(), surface_.statuses_.end(), text) !=
           surface_.statuses_.end();
  }
  std::filesystem::path dir_;
};

TEST_F(OfflineMaster, WithoutAProgrammerItAsksForTheConnection) {
  App().programmer_found = false;
  App().count_failure = true;
  Make();
  EXPECT_EQ(surface_.Status(), "编程器连接错误,编程器可能正忙,请稍候再试!");
  EXPECT_TRUE(App().link_fault);
  EXPECT_FALSE(App().count_failure);
  EXPECT_EQ(surface_.timers_[ctl::kReconnectTimer], 1000u);
  EXPECT_TRUE(device_.headers().empty());
}

TEST_F(OfflineMaster, DebugModeIsRefusedWithoutTraffic) {
  surface_.checked_[ctl::kDebugMode] = true;
  Make();
  ASSERT_EQ(surface_.boxes_.size(), 1u);
  EXPECT_EQ(surface_.boxes_[0].caption, "提示");
  EXPECT_EQ(surface_.boxes_[0].icon, MsgIcon::kWarning);
  EXPECT_EQ(surface_.Status(), "操作已中止");
  EXPECT_FALSE(App().link_fault);
  EXPECT_TRUE(device_.headers().empty());
}

TEST_F(OfflineMaster, AnsweringNoSendsNothing) {
  surface_.answers_.push_back(MsgAnswer::kNo);
  Make();
  ASSERT_EQ(surface_.boxes_.size(), 1u);
  EXPECT_EQ(surface_.boxes_[0].caption, "操作提示");
  EXPECT_EQ(surface_.boxes_[0].buttons, MsgButtons::kYesNo);
  EXPECT_EQ(surface_.Status(), "操作已中止");
  EXPECT_TRUE(device_.headers().empty());
}

TEST_F(OfflineMaster, TheProgrammerKeepsTheCodeAndTheSettings) {
  Make();
  EXPECT_FALSE(App().link_fault) << surface_.Status();
  EXPECT_TRUE(Shown("写入母片编程配置数据成功!"));
  EXPECT_EQ(surface_.Status(),
            "脱机编程母片制作成功!您现在即可通过编程器主板的[编程]按钮进行脱机烧写了");
  // The programmer memory holds the file; the configuration header carries
  // the range, the buffer's sum over it and the window's choices.
  for (uint32_t a = 0; a < 0x300; ++a) ASSERT_EQ(device_.memory()[a], App().code_buffer[a]) << a;
  ASSERT_EQ(device_.offline_configs().size(), 1u);
  const auto& h = device_.offline_configs()[0];
  const uint16_t sum = BufferChecksum(App().code_buffer, 0, 0x2FF);
  EXPECT_EQ(h[20], 17);
  EXPECT_EQ(VirtualProgrammer::RangeStart(h), 0u);
  EXPECT_EQ(VirtualProgrammer::RangeEnd(h), 0x2FFu);
  EXPECT_EQ(VirtualProgrammer::HeaderChecksum(h), sum);
  EXPECT_EQ(h[4], 2);
  EXPECT_EQ(h[11], 0x81);
  EXPECT_EQ(h[5] & opt::kVerify, opt::kVerify);
  EXPECT_EQ(surface_.texts_[ctl::kChecksumBox], FormatNumber(sum, 16, 4));
  // A pause of 400 ms before the configuration header.
  const auto delays = Calls("DELAY");
  EXPECT_NE(std::find(delays.begin(), delays.end(), "400"), delays.end());
}

TEST_F(OfflineMaster, ARefusedConfigurationIsReported) {
  device_.faults().answer_no = 17;
  Make();
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(surface_.Status(),
            "写入母片编程配置数据失败!请尝试重新下载代码对母片内存进行初始化后再行写入!");
  EXPECT_TRUE(device_.offline_configs().empty());
}

TEST_F(OfflineMaster, AFailedDownloadMakesNoMaster) {
  device_.faults().no_romok = true;
  Make();
  EXPECT_TRUE(App().link_fault);
  EXPECT_TRUE(Shown("初始化编程存储器失败!请尝试重新下载初始化!"));
  EXPECT_EQ(surface_.Status(), "脱机编程母片制作失败!请尝试重新下载代码再进行该项操作");
  EXPECT_TRUE(device_.offline_configs().empty());
}

TEST_F(OfflineMaster, AnInterruptedDownloadMakesNoMasterEither) {
  AbortingSurface aborting("[双击这里中断下载]");
  aborting.texts_ = surface_.texts_;
  aborting.checked_ = surface_.checked_;
  InstallWindow(&aborting);
  Make();
  EXPECT_NE(std::find(aborting.statuses_.begin(), aborting.statuses_.end(),
                      "下载过程已被用户中断!"),
            aborting.statuses_.end());
  EXPECT_EQ(aborting.Status(), "脱机编程母片制作失败!请尝试重新下载代码再进行该项操作");
  EXPECT_TRUE(App().link_fault);
  EXPECT_TRUE(device_.offline_configs().empty());
  InstallWindow(&surface_);
}

// A stop that came after the last byte went out (while the checksum was
// taken) cut nothing: the master is made. Before, any stop failed it.
TEST_F(OfflineMaster, AStopAfterTheDownloadCompletedStillMakesTheMaster) {
  AbortingSurface aborting("请稍候,得到编程内存检查和");
  aborting.texts_ = surface_.texts_;
  aborting.checked_ = surface_.checked_;
  InstallWindow(&aborting);
  Make();
  EXPECT_TRUE(App().user_abort);
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(aborting.Status(),
            "脱机编程母片制作成功!您现在即可通过编程器主板的[编程]按钮进行脱机烧写了");
  EXPECT_EQ(device_.offline_configs().size(), 1u);
  InstallWindow(&surface_);
}

}  // namespace
}  // namespace zvp::test
