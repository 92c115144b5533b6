// The production log: one line per finished auto-program run, pass or
// fail, counted or not, so that a batch that fails at the customer can be
// traced to the time, the file, the checksum and what the program said. The
// window and the command line write the same format: CSV in UTF-8 with a
// byte-order mark (so a spreadsheet shows the Chinese texts) and a header
// line at the top of a new file.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "core/append_file.h"
#include "core/production_recorder.h"

namespace zvp {

struct ProductionRecord {
  std::string time;        // local time, "2026-12-07 14:03:05"
  std::string port;        // "COM1", or the device path on Linux
  std::string chip;        // "OTP" or "MTP"
  std::string vdd;         // "5.0V" or "3.3V"
  std::string vpp;         // "12V" or "Vcc"
  std::string file;        // the code file's name, as in the file box
  std::string checksum;    // the programmer-memory checksum box
  std::string range;       // "0000~1FFF"
  std::string options;     // the ticked option boxes, by caption, ";" between
  std::string steps;       // the steps that ran, in order, ";" between
  std::string verdict;     // kVerdictPassed, kVerdictFailed, kVerdictNotCounted(Restart)
  bool counting_paused = false;
  std::string status;      // the status line at the end
  uint32_t pass_count = 0;  // both counts after the run
  uint32_t fail_count = 0;
};

extern const char kVerdictPassed[];      // "通过"
extern const char kVerdictFailed[];      // "失败"
extern const char kVerdictNotCounted[];  // "不计数(编程器连接错误)"
// The programmer restarted before any step changed the chip.
extern const char kVerdictNotCountedRestart[];  // "不计数(编程器已复位)"

// The log's record of `run`, the auto-program run that just finished, with
// the window's controls and counts as it left them; `port` names the port as
// the user chose it.
ProductionRecord MakeProductionRecord(const AutoRunRecord& run, const std::string& port);

// The local time to the second, "YYYY-MM-DD HH:MM:SS".
std::string LocalTimeText();

// The port in use as the window names it ("COM1".."COM4" for a ticked
// button, "COM7" for one chosen beyond them), or "".
std::string SelectedPortName();

// The header line and one record's line, each ended by CR LF. The fields
// are UTF-8 as a spreadsheet reads it: bytes that are not (a file name on
// Linux is any bytes) become U+FFFD, the replacement character.
std::string ProductionLogHeader();
std::string ProductionLogLine(const ProductionRecord& record);

// A production log file, which several programs may write at once (two
// windows, two command lines, on one PC). Every line lands whole or not at
// all: under the file's lock (core/append_file.h) a new file first gets
// the byte-order mark and the header, a file that does not end in a line
// end (cut off by an older program on a full disk) gets one, then comes the
// line; a write that fails is cut back to what the file held before it, so
// that the next line starts on a line of its own. Each line opens the file
// anew, so a log moved away meanwhile is made again, never written into
// the void.
class ProductionLog {
 public:
  // `file` is the platform's (not owned).
  ProductionLog(AppendFile* file, std::string utf8_path)
      : file_(file), path_(std::move(utf8_path)) {}

  // Makes sure the file can be written before anything is logged: opens or
  // creates it, and gives a new one its mark and header. Empty on success,
  // otherwise why not.
  std::string Open();
  // The record's line (a new file gets its mark and header first). False,
  // with Error() saying why, when it could not be added; the file then
  // holds what it held before.
  bool Append(const ProductionRecord& record);
  std::string Error() const { return error_; }

 private:
  AppendFile* file_;
  std::string path_;
  // A terminal or a pipe stays open from Open on.
  bool stream_ = false;
  std::string error_;
};

// The window's production log: a file a day, "YYYY-MM-DD.csv" in `folder`
// (created when missing), a line per finished auto-program run. A log that
// cannot be written never stops production, but is never silent either: the
// first failed write after the program starts says so once, in a message
// box that names the file, the reason, and the run's time and result; the
// run, its counting and the runs after it go on, and later failures are not
// shown again. Several windows may share the folder: their lines never mix.
class DailyProductionLog final : public ProductionRecorder {
 public:
  // `file` is the platform's.
  DailyProductionLog(std::string utf8_folder, std::unique_ptr<AppendFile> file)
      : folder_(std::move(utf8_folder)), file_(std::move(file)) {}

  // On the operation worker.
  void AutoRunFinished(const AutoRunRecord& run) override;

  // The file of the day `time` ("YYYY-MM-DD ..." as LocalTimeText gives it).
  std::string FileFor(const std::string& time) const;

 private:
  std::string folder_;
  std::mutex mu_;
  std::unique_ptr<AppendFile> file_;
  bool warned_ = false;
};

}  // namespace zvp
