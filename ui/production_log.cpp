#include "ui/production_log.h"

#include <ctime>
#include <optional>
#include <string_view>
#include <exception>
#include <filesystem>
#include <system_error>
#include <mutex>

#include "core/app_state.h"
#include "engine/operation_table.h"
#include "ui/dispatcher.h"
#include "ui/control_ids.h"
#include "ui/control_table.h"
#include "core/status_display.h"
#include "core/user_dialogs.h"
#include "core/window_controls.h"

namespace zvp {

const char kVerdictPassed[] = "通过";
const char kVerdictFailed[] = "失败";
const char kVerdictNotCounted[] = "不计数(编程器连接错误)";
const char kVerdictNotCountedRestart[] = "不计数(编程器已复位)";

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr char kLineEnd[] = "\r\n";
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
// The log lists the ticked option boxes, by caption, in an order of its
// own, which the files written so far keep.
constexpr int kLoggedOptions[] = {
    ctl::kAutoVerify,     ctl::kAutoBlankCheck,     ctl::kAutoReadProtect, ctl::kAutoHwWriteProtect,
    ctl::kAutoLdcProtect, ctl::kEraseBeforeProgram, ctl::kEnableSmart};

const char* StepCaption(uint8_t code) {
  const OperationEntry* entry = FindOperation(code);
  return entry != nullptr && entry->step_name != nullptr ? entry->step_name : "?";
}

void Join(std::string* list, const std::string& item) {
  if (!list->empty()) *list += ";";
  *list += item;
}

constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD

// The length of the UTF-8 sequence at the start of `text` (1 to 4), or 0
// when it is none: a stray continuation byte, an overlong form, a surrogate,
// a code point past U+10FFFF, or a sequence cut short. `*valid` is then how
// many of its bytes still fitted, which the one replacement character
// stands for (as the Unicode standard recommends).
size_t SequenceLength(std::string_view text, size_t* valid) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  *valid = 1;
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    if (i >= text.size()) return 0;
    const unsigned char c = byte(i);
    if (i == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF)) return 0;
    *valid = i + 1;
  }
  return length;
}

std::string ValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    size_t valid = 0;
    const size_t n = SequenceLength(text, &valid);
    if (n == 0) {
      out += kReplacementCharacter;
      text.remove_prefix(valid);
    } else {
      out.append(text.substr(0, n));
      text.remove_prefix(n);
    }
  }
  return out;
}

// Holds the file's lock for one line.
class FileLock {
 public:
  explicit FileLock(AppendFile& file) : file_(file), error_(file.Lock()) {}
  ~FileLock() {
    if (error_.empty()) file_.Unlock();
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  const std::string& Error() const { return error_; }

 private:
  AppendFile& file_;
  std::string error_;
};

// Adds `line` to the open file whole or not at all, as ProductionLog
// describes; an empty line adds only a new file's mark and header. Empty on
// success, otherwise why not.
std::string AddWholeLine(AppendFile& file, const std::string& line) {
  const std::string opening = kByteOrderMark + ProductionLogHeader();
  // A terminal or a pipe has no end to find or cut back: the header goes
  // out when the log is opened, a line when it comes.
  if (!file.IsPlainFile()) {
    return file.Append(line.empty() ? opening : line) ? std::string() : file.Error();
  }
  const FileLock lock(file);
  if (!lock.Error().empty()) return lock.Error();
  const std::optional<AppendFile::End> end = file.FindEnd();
  if (!end) return file.Error();
  std::string text;
  if (end->size == 0) {
    text = opening;
  } else if (end->last != '\n' && !line.empty()) {
    // Half a line end (CR without its LF) is completed, not doubled.
    text = end->last == '\r' ? "\n" : kLineEnd;
  }
  text += line;
  if (text.empty() || file.Append(text)) return std::string();
  std::string error = file.Error();
  if (!file.CutBack(end->size)) {
    error += "; the part written could not be cut back either: " + file.Error();
  }
  return error;
}

// A field as CSV wants it: quoted when it holds a comma, a quote or a line
// break, quotes doubled inside.
std::string Field(const std::string& raw) {
  const std::string text = ValidUtf8(raw);
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

ProductionRecord MakeProductionRecord(const AutoRunRecord& run, const std::string& port) {
  AppState& app = App();
  ProductionRecord r;
  r.time = LocalTimeText();
  r.port = port;
  r.chip = Controls().IsChecked(ctl::kChipOtp) ? "OTP" : "MTP";
  r.vdd = Controls().IsChecked(ctl::kVdd33) ? "3.3V" : "5.0V";
  r.vpp = Controls().IsChecked(ctl::kVpp12) ? "12V" : "Vcc";
  r.file = Controls().GetText(ctl::kFileBox, 1023);
  r.checksum = Controls().GetText(ctl::kChecksumBox, 16);
  r.range = Controls().GetText(ctl::kStartAddress, 16) + "~" + Controls().GetText(ctl::kEndAddress, 16);
  for (int id : kLoggedOptions) {
    if (Controls().IsEnabled(id) && Controls().IsChecked(id)) Join(&r.options, FindControl(id)->caption);
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
    case AutoVerdict::kNotCountedRestart:
      r.verdict = kVerdictNotCountedRestart;
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

std::string ProductionLog::Open() {
  error_ = file_->Open(path_);
  if (error_.empty()) error_ = AddWholeLine(*file_, std::string());
  stream_ = error_.empty() && !file_->IsPlainFile();
  if (!stream_) file_->Close();
  return error_;
}

bool ProductionLog::Append(const ProductionRecord& record) {
  error_ = stream_ ? std::string() : file_->Open(path_);
  if (error_.empty()) error_ = AddWholeLine(*file_, ProductionLogLine(record));
  if (!stream_) file_->Close();
  return error_.empty();
}

std::string DailyProductionLog::FileFor(const std::string& time) const {
  // The first ten characters of the time are the day.
  return folder_ + kFolderSeparator + time.substr(0, 10) + ".csv";
}

void DailyProductionLog::AutoRunFinished(const AutoRunRecord& run) {
  const ProductionRecord record = MakeProductionRecord(run, SelectedPortName());
  const std::string path = FileFor(record.time);
  std::string error;
  {
    std::lock_guard<std::mutex> lock(mu_);
    error = CreateFolder(folder_);
    ProductionLog log(file_.get(), path);
    if (error.empty() && !log.Append(record)) error = log.Error();
    if (error.empty() || warned_) return;
    warned_ = true;
  }
  MessageBox box;
  box.caption = "警 告";
  box.icon = MsgIcon::kWarning;
  box.text = "生产记录无法写入,本次运行未被记录!\n时间: " + record.time + "  结果: " +
             record.verdict + "\n文件: " + path + "\n原因: " + error +
             "\n编程和计数不受影响。在程序关闭之前不再提示。";
  Dialogs().ShowMessage(box);
}

}  // namespace zvp
