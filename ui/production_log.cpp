#include "ui/production_log.h"

#include <ctime>
#include <exception>
#include <filesystem>
#include <system_error>
#include <mutex>

#include "engine/auto_program.h"
#include "core/app_state.h"
#include "engine/operation_table.h"
#include "ui/dispatcher.h"
#include "core/control_ids.h"
#include "core/status_display.h"
#include "core/user_dialogs.h"
#include "core/window_controls.h"

namespace zvp {

const char kVerdictPassed[] = "通过";
const char kVerdictFailed[] = "失败";
const char kVerdictNotCounted[] = "不计数(编程器连接错误)";

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
// Between a folder and the file in it; both systems take a forward slash.
constexpr char kFolderSeparator[] = "/";

// Creates `utf8_folder` and its parents when missing; empty on success,
// otherwise why not.
std::string CreateFolder(const std::string& utf8_folder) {
  try {
    const std::filesystem::path path(std::u8string(utf8_folder.begin(), utf8_folder.end()));
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) return ec.message();
    if (!std::filesystem::is_directory(path, ec)) return "not a folder";
    return std::string();
  } catch (const std::exception& e) {
    return e.what();
  }
}
constexpr char kLineEnd[] = "\r\n";

// The option boxes in the order of the window's group, by caption.
struct OptionBox {
  int id;
  const char* caption;
};
constexpr OptionBox kOptionBoxes[] = {
    {ctl::kAutoVerify, "自动校验"},         {ctl::kAutoBlankCheck, "自动空检查"},
    {ctl::kAutoReadProtect, "自动读保护"},  {ctl::kAutoHwWriteProtect, "自动硬件写保护"},
    {ctl::kAutoLdcProtect, "自动LDC保护"},  {ctl::kEraseBeforeProgram, "编程前擦除MTP"},
    {ctl::kEnableSmart, "使能SMART"},
};

const char* StepCaption(uint8_t code) {
  const OperationEntry* entry = FindOperation(code);
  return entry != nullptr && entry->step_name != nullptr ? entry->step_name : "?";
}

void Join(std::string* list, const std::string& item) {
  if (!list->empty()) *list += ";";
  *list += item;
}

// A field as CSV wants it: quoted when it holds a comma, a quote or a line
// break, quotes doubled inside.
std::string Field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

std::string SelectedPortName() {
  return PortInUse();
}

std::string LocalTimeText() {
  // std::localtime shares one buffer between its callers.
  static std::mutex mu;
  std::lock_guard<std::mutex> lock(mu);
  const std::time_t now = std::time(nullptr);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  return text;
}

ProductionRecord LastAutoRunRecord(const std::string& port) {
  AppState& app = App();
  const AutoRunRecord run = LastAutoRun();
  ProductionRecord r;
  r.time = LocalTimeText();
  r.port = port;
  r.chip = Controls().IsChecked(ctl::kChipOtp) ? "OTP" : "MTP";
  r.vdd = Controls().IsChecked(ctl::kVdd33) ? "3.3V" : "5.0V";
  r.vpp = Controls().IsChecked(ctl::kVpp12) ? "12V" : "Vcc";
  r.file = Controls().GetText(ctl::kFileBox, 1023);
  r.checksum = Controls().GetText(ctl::kChecksumBox, 16);
  r.range = Controls().GetText(ctl::kStartAddress, 16) + "~" + Controls().GetText(ctl::kEndAddress, 16);
  for (const OptionBox& b : kOptionBoxes) {
    if (Controls().IsEnabled(b.id) && Controls().IsChecked(b.id)) Join(&r.options, b.caption);
  }
  for (uint8_t code : run.steps) Join(&r.steps, StepCaption(code));
  switch (run.verdict) {
    case AutoVerdict::kPassed:
      r.verdict = kVerdictPassed;
      break;
    case AutoVerdict::kFailed:
      r.verdict = kVerdictFailed;
      break;
    case AutoVerdict::kNotCounted:
      r.verdict = kVerdictNotCounted;
      break;
  }
  r.counting_paused = run.counting_paused;
  r.status = StatusLine().Status();
  r.pass_count = app.pass_count;
  r.fail_count = app.fail_count;
  return r;
}

std::string ProductionLogHeader() {
  return std::string("时间,端口,芯片,芯片电压,编程电压,代码文件,编程内存检查和,地址范围,"
                     "编程选项,执行步骤,结果,计数,状态信息,成功计数,失败计数") +
         kLineEnd;
}

std::string ProductionLogLine(const ProductionRecord& r) {
  const std::string fields[] = {
      r.time,     r.port,    r.chip,    r.vdd,     r.vpp,
      r.file,     r.checksum, r.range,  r.options, r.steps,
      r.verdict,  r.counting_paused ? "暂停计数" : "计数",
      r.status,   std::to_string(r.pass_count), std::to_string(r.fail_count),
  };
  std::string line;
  for (const std::string& f : fields) {
    if (!line.empty()) line += ",";
    line += Field(f);
  }
  return line + kLineEnd;
}

std::string ProductionLog::Open(const std::string& utf8_path) {
  const std::string error = file_.Open(utf8_path, TextFile::Mode::kAppend);
  if (!error.empty()) return error;
  if (file_.WasEmpty() && !file_.Write(kByteOrderMark + ProductionLogHeader())) {
    return file_.Error();
  }
  return std::string();
}

bool ProductionLog::Append(const ProductionRecord& record) {
  return file_.Write(ProductionLogLine(record));
}

std::string DailyProductionLog::FileFor(const std::string& time) const {
  // The first ten characters of the time are the day.
  return folder_ + kFolderSeparator + time.substr(0, 10) + ".csv";
}

void DailyProductionLog::AutoRunFinished() {
  const ProductionRecord record = LastAutoRunRecord(SelectedPortName());
  const std::string path = FileFor(record.time);
  std::string error;
  {
    std::lock_guard<std::mutex> lock(mu_);
    error = CreateFolder(folder_);
    ProductionLog log;
    if (error.empty()) error = log.Open(path);
    if (error.empty() && !log.Append(record)) error = log.Error();
    if (error.empty() || warned_) return;
    warned_ = true;
  }
  MessageBox box;
  box.caption = "警 告";
  box.icon = MsgIcon::kWarning;
  box.text = "生产记录无法写入,本次运行未被记录!\n文件: " + path + "\n原因: " + error +
             "\n编程和计数不受影响。在程序关闭之前不再提示。";
  Dialogs().ShowMessage(box);
}

}  // namespace zvp
