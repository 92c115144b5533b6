// The production log: the line a spreadsheet reads, and the window's day
// file, which never stops production when it cannot be written but says so
// once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/app_state.h"
#include "core/control_ids.h"
#include "core/operation_code.h"
#include "engine/engine.h"
#include "sim/sim_port.h"
#include "sim/virtual_clock.h"
#include "sim/virtual_programmer.h"
#include "ui/headless_window.h"
#include "ui/production_log.h"
#include "ui/start_up.h"

namespace zvp {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A field that holds a comma, a quote or a line break is quoted, its quotes
// doubled; Chinese text passes as UTF-8; the line ends in CR LF.
TEST(ProductionLogFormat, FieldsAreQuotedAsASpreadsheetReadsThem) {
  ProductionRecord r;
  r.time = "2026-12-07 14:03:05";
  r.port = "COM1";
  r.chip = "MTP";
  r.vdd = "5.0V";
  r.vpp = "Vcc";
  r.file = "D:\\代码\\板,\"A\".hex";
  r.checksum = "F2E3";
  r.range = "0000~07FF";
  r.options = "自动校验;自动读保护";
  r.steps = "擦除MTP;编程;校验";
  r.verdict = kVerdictNotCounted;
  r.counting_paused = true;
  r.status = "编程器连接错误,编程器可能正忙,请稍候再试!";
  r.pass_count = 12;
  r.fail_count = 3;
  EXPECT_EQ(ProductionLogLine(r),
            "2026-12-07 14:03:05,COM1,MTP,5.0V,Vcc,\"D:\\代码\\板,\"\"A\"\".hex\",F2E3,0000~07FF,"
            "自动校验;自动读保护,擦除MTP;编程;校验,不计数(编程器连接错误),暂停计数,"
            "\"编程器连接错误,编程器可能正忙,请稍候再试!\",12,3\r\n");
  EXPECT_EQ(ProductionLogHeader(),
            "时间,端口,芯片,芯片电压,编程电压,代码文件,编程内存检查和,地址范围,编程选项,"
            "执行步骤,结果,计数,状态信息,成功计数,失败计数\r\n");
}

class DailyLog : public ::testing::Test {
 protected:
  DailyLog() : port_(&device_, &clock_) {}
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("zvp_daily_log_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ResetAppState();
    AppState& app = App();
    app.port = &port_;
    app.clock = &clock_;
    InstallWindow(&window_);
    window_.ResetToCreatedState();
    InitialiseMainWindow();
    ASSERT_TRUE(port_.Open("COM1"));
    window_.Click(ctl::kCom1);
    ASSERT_TRUE(app.programmer_found);
    // Code in the programmer memory as a download leaves it.
    app.memory_loaded = true;
    window_.Click(ctl::kEraseBeforeProgram);  // fewer steps: program and verify
    window_.SetText(ctl::kFileBox, "板,\"A\".hex");
  }
  void TearDown() override {
    WaitForWorkers();
    AppState& app = App();
    app.recorder = nullptr;
    app.port = nullptr;
    app.clock = nullptr;
    InstallWindow(nullptr);
    fs::remove_all(dir_);
  }
  // A new blank chip in the socket, then "自动编程".
  void AutoProgram() {
    device_.chip() = SimChip{};
    window_.Click(ctl::kAutoProgram);
    WaitForWorkers();
  }

  VirtualClock clock_;
  VirtualProgrammer device_;
  SimPort port_;
  HeadlessWindow window_;
  fs::path dir_;
};

// A day's production leaves one file a spreadsheet opens: the mark, the
// header once, then a line per chip.
TEST_F(DailyLog, EveryRunLeavesALineInTheDaysFile) {
  DailyProductionLog log((dir_ / "logs").string());
  App().recorder = &log;
  AutoProgram();
  device_.faults().answer_no = OpProgramChip;
  AutoProgram();
  const std::string path = log.FileFor(LocalTimeText());
  const std::string text = ReadAll(path);
  ASSERT_EQ(text.rfind("\xEF\xBB\xBF" + ProductionLogHeader(), 0), 0u) << text;
  EXPECT_NE(text.find(",COM1,MTP,5.0V,Vcc,\"板,\"\"A\"\".hex\","), std::string::npos) << text;
  EXPECT_NE(text.find(",编程;校验;使能SMART;读保护;硬件写保护,通过,计数,自动编程已成功完成,1,0\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(",编程,失败,计数,编程芯片失败! [校验和错],1,1\r\n"), std::string::npos) << text;
  EXPECT_TRUE(window_.Messages().empty());
}

// A folder that cannot be made (a file stands where it should be): the runs
// pass and are counted, and the user hears of it once.
TEST_F(DailyLog, AnUnwritableFolderIsSaidOnceAndProductionGoesOn) {
  std::ofstream(dir_ / "blocked") << "a file, not a folder";
  DailyProductionLog log((dir_ / "blocked" / "logs").string());
  App().recorder = &log;
  AutoProgram();
  AutoProgram();
  EXPECT_EQ(App().pass_count, 2u);
  EXPECT_EQ(window_.GetText(ctl::kPassBox, 10), "000002");
  EXPECT_EQ(window_.Status(), "自动编程已成功完成");
  ASSERT_EQ(window_.Messages().size(), 1u);
  EXPECT_EQ(window_.Messages()[0].text.rfind("生产记录无法写入,本次运行未被记录!\n文件: ", 0), 0u)
      << window_.Messages()[0].text;
}

}  // namespace
}  // namespace zvp
