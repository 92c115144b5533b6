// The production log: the line a spreadsheet reads, whole lines on a full
// disk and with two programs writing one file at once, and the window's day
// file, which never stops production when it cannot be written but says so
// once.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/app_state.h"
#include "ui/control_ids.h"
#include "core/operation_code.h"
#include "engine/engine.h"
#include "posix/append_file_posix.h"
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

// A file name on Linux is any bytes, a spreadsheet wants UTF-8: each piece
// that is not UTF-8 becomes one U+FFFD, what is stays.
TEST(ProductionLogFormat, BytesThatAreNotUtf8BecomeReplacementCharacters) {
  const std::string bad = "\xEF\xBF\xBD";
  ProductionRecord r;
  r.file = "板\xFF.hex";  // a byte no UTF-8 text holds
  r.port = "\xC0\xAF";  // an overlong slash: two
  r.chip = "\xED\xA0\x80";  // a surrogate: three
  r.range = "\xF4\x90\x80\x80";  // past U+10FFFF: four
  r.status = "完成\xE4\xB8";  // a character cut off at the end: one
  r.steps = "\xF0\x9F\x98\x80";  // outside the BMP, and valid
  const std::string line = ProductionLogLine(r);
  EXPECT_EQ(line, bad + bad + "," + bad + bad + bad + ",,,板" + bad + ".hex,," + bad + bad +
                      bad + bad + ",,\xF0\x9F\x98\x80,,计数,完成" + bad + ",0,0\r\n");
}

// A disk of `capacity` bytes that holds one file and fills as a real one
// does: a write takes what still fits and fails on the rest.
class SmallDisk final : public AppendFile {
 public:
  explicit SmallDisk(size_t capacity) : capacity(capacity) {}
  std::string Open(const std::string& path) override {
    paths.push_back(path);
    return std::string();
  }
  void Close() override { locked_ = false; }
  bool IsPlainFile() const override { return true; }
  std::string Lock() override {
    locked_ = true;
    return std::string();
  }
  void Unlock() override { locked_ = false; }
  std::optional<End> FindEnd() override {
    return End{text.size(), text.empty() ? '\n' : text.back()};
  }
  bool Append(std::string_view bytes) override {
    EXPECT_TRUE(locked_) << "written without the lock";
    const size_t room = capacity - std::min(capacity, text.size());
    text.append(bytes.substr(0, room));
    if (bytes.size() <= room) return true;
    error_ = "No space left on device";
    return false;
  }
  bool CutBack(uint64_t size) override {
    EXPECT_TRUE(locked_) << "cut back without the lock";
    text.resize(size);
    return true;
  }
  std::string Error() const override { return error_; }

  size_t capacity;
  std::string text;
  std::vector<std::string> paths;

 private:
  bool locked_ = false;
  std::string error_;
};

ProductionRecord Chip(uint32_t n) {
  ProductionRecord r;
  r.time = "2026-12-07 23:01:27";
  r.verdict = kVerdictPassed;
  r.pass_count = n;
  return r;
}

// A full disk takes part of a line: it is cut back, so the file ends in a
// whole line, and once there is room again the next line starts clean. A
// file that an older program left ending in half a line gets a line end
// before the next line.
TEST(ProductionLogFile, AFullDiskLeavesWholeLinesOnly) {
  const std::string opening = "\xEF\xBB\xBF" + ProductionLogHeader();
  SmallDisk disk(opening.size() + ProductionLogLine(Chip(1)).size() + 10);
  ProductionLog log(&disk, "/logs/log.csv");
  ASSERT_EQ(log.Open(), "");
  EXPECT_EQ(disk.text, opening);
  ASSERT_TRUE(log.Append(Chip(1)));
  const std::string one = disk.text;
  EXPECT_FALSE(log.Append(Chip(2)));
  EXPECT_EQ(log.Error(), "No space left on device");
  EXPECT_EQ(disk.text, one);
  disk.capacity = 1 << 20;
  ASSERT_TRUE(log.Append(Chip(2)));
  EXPECT_EQ(disk.text, one + ProductionLogLine(Chip(2)));
  // Each line opens the file anew, by the name given.
  EXPECT_EQ(disk.paths, std::vector<std::string>(4, "/logs/log.csv"));

  disk.text = opening + "2026-12-07 2";
  ASSERT_TRUE(log.Append(Chip(3)));
  EXPECT_EQ(disk.text, opening + "2026-12-07 2\r\n" + ProductionLogLine(Chip(3)));
  // Cut off between CR and LF: the LF completes it.
  disk.text = opening + "2026-12-07 2\r";
  ASSERT_TRUE(log.Append(Chip(3)));
  EXPECT_EQ(disk.text, opening + "2026-12-07 2\r\n" + ProductionLogLine(Chip(3)));
  // A file emptied meanwhile starts again with its mark and header.
  disk.text.clear();
  ASSERT_TRUE(log.Append(Chip(4)));
  EXPECT_EQ(disk.text, opening + ProductionLogLine(Chip(4)));
}

constexpr char kSharedFile[] = "代码,\"A\".hex";

// Two processes, "COM1" and "COM2", released at the same moment, each
// adding `lines` lines through its own ProductionLog as the command line
// does.
void WriteTogether(const std::string& path, uint32_t lines) {
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> writers;
  for (const char* port : {"COM1", "COM2"}) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(go[1]);
      char byte;
      // Both wait for the same moment: the end of the pipe.
      if (read(go[0], &byte, 1) != 0) _exit(3);
      PosixAppendFile file;
      ProductionLog log(&file, path);
      if (!log.Open().empty()) _exit(1);
      for (uint32_t n = 1; n <= lines; ++n) {
        ProductionRecord r = Chip(n);
        r.port = port;
        r.file = kSharedFile;
        if (!log.Append(r)) _exit(2);
      }
      _exit(0);
    }
    writers.push_back(pid);
  }
  close(go[0]);
  close(go[1]);
  for (pid_t pid : writers) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
}

// The number of whole lines in the file, checking that it has one mark and
// one header, at its start, and that each line is one its writer made, byte
// for byte, and came once.
int CheckSharedLog(const std::string& path) {
  const std::string text = ReadAll(path);
  const std::string opening = "\xEF\xBB\xBF" + ProductionLogHeader();
  EXPECT_EQ(text.rfind(opening, 0), 0u) << text.substr(0, 200);
  EXPECT_EQ(text.find("\xEF\xBB\xBF", 1), std::string::npos) << "a second mark";
  EXPECT_EQ(text.find(ProductionLogHeader(), opening.size()), std::string::npos) << "a second header";
  std::set<std::string> seen;
  int lines = 0;
  for (size_t at = opening.size(); at < text.size();) {
    const size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "a line without its end: " << text.substr(at);
      break;
    }
    const std::string line = text.substr(at, end + 2 - at);
    at = end + 2;
    ++lines;
    // The port and the pass count ("...,N,0") say whose line it is.
    const std::string body = line.substr(0, line.size() - 2);
    const std::string counts = body.substr(0, body.rfind(','));
    const std::string pass = counts.substr(counts.rfind(',') + 1);
    if (pass.empty() || pass.size() > 9 || pass.find_first_not_of("0123456789") != std::string::npos) {
      ADD_FAILURE() << "line " << lines << " is none a writer made: " << line;
      continue;
    }
    ProductionRecord r = Chip(static_cast<uint32_t>(std::stoul(pass)));
    r.port = line.substr(20, 4);
    r.file = kSharedFile;
    EXPECT_EQ(line, ProductionLogLine(r)) << "line " << lines;
    EXPECT_TRUE(seen.insert(r.port + " " + std::to_string(r.pass_count)).second) << line;
  }
  return lines;
}

// Two programs start a new log at the same moment and add 150 lines each,
// as two command lines or two windows on one PC do, 30 times (without the
// lock about one new file in ten got two headers): every line lands whole,
// none is lost, and each file has one mark and one header, at its start.
TEST(ProductionLogFile, TwoProgramsWritingOneFileLoseNoLine) {
  constexpr uint32_t kLines = 150;
  constexpr int kRounds = 30;
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("zvp_two_writers_" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const auto started = std::chrono::steady_clock::now();
  int found = 0;
  for (int round = 0; round < kRounds; ++round) {
    const std::string path = (dir / ("2026-12-" + std::to_string(10 + round) + ".csv")).string();
    WriteTogether(path, kLines);
    const int lines = CheckSharedLog(path);
    EXPECT_EQ(lines, 2 * static_cast<int>(kLines)) << path;
    found += lines;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::cout << "two writers, " << kRounds << " new files: " << 2 * kLines * kRounds
            << " lines written, " << found << " found, " << seconds << " s\n";
  std::filesystem::remove_all(dir);
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
  DailyProductionLog log((dir_ / "logs").string(), std::make_unique<PosixAppendFile>());
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
  DailyProductionLog log((dir_ / "blocked" / "logs").string(), std::make_unique<PosixAppendFile>());
  App().recorder = &log;
  AutoProgram();
  AutoProgram();
  EXPECT_EQ(App().pass_count, 2u);
  EXPECT_EQ(window_.GetText(ctl::kPassBox, 10), "000002");
  EXPECT_EQ(window_.Status(), "自动编程已成功完成");
  ASSERT_EQ(window_.Messages().size(), 1u);
  EXPECT_EQ(window_.Messages()[0].text.rfind("生产记录无法写入,本次运行未被记录!\n时间: ", 0), 0u)
      << window_.Messages()[0].text;
}

// The day's file on a disk that fills: the run whose line did not fit is
// named in the box with its time and result, the file keeps whole lines,
// and the lines after it land once there is room again.
TEST_F(DailyLog, AFullDiskKeepsTheDaysFileWholeAndNamesTheMissingRun) {
  auto disk = std::make_unique<SmallDisk>(1000);
  SmallDisk& file = *disk;
  DailyProductionLog log((dir_ / "logs").string(), std::move(disk));
  App().recorder = &log;
  AutoProgram();
  ASSERT_EQ(std::count(file.text.begin(), file.text.end(), '\n'), 2) << file.text;
  file.capacity = file.text.size() + 20;
  const std::string before = file.text;
  AutoProgram();
  EXPECT_EQ(file.text, before);
  EXPECT_EQ(App().pass_count, 2u);
  ASSERT_EQ(window_.Messages().size(), 1u);
  const std::string text = window_.Messages()[0].text;
  const size_t at = text.find("\n时间: ");
  ASSERT_NE(at, std::string::npos) << text;
  EXPECT_EQ(text.substr(at + 9 + 19, 16), "  结果: 通过") << text;
  EXPECT_NE(text.find("\n原因: No space left on device\n"), std::string::npos) << text;
  file.capacity = 1 << 20;
  AutoProgram();
  EXPECT_EQ(std::count(file.text.begin(), file.text.end(), '\n'), 3) << file.text;
  EXPECT_NE(file.text.find(",通过,计数,自动编程已成功完成,3,0\r\n"), std::string::npos) << file.text;
  EXPECT_EQ(window_.Messages().size(), 1u);
}

}  // namespace
}  // namespace zvp
