// The production log: one line per finished auto-program run, pass or
// fail, counted or not, so that a batch that fails at the customer can be
// traced to the time, the file, the checksum and what the program said. The
// window and the command line write the same format: CSV in UTF-8 with a
// byte-order mark (so a spreadsheet shows the Chinese texts) and a header
// line at the top of a new file.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "core/production_recorder.h"
#include "ui/text_file.h"

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
  std::string verdict;     // kVerdictPassed, kVerdictFailed or kVerdictNotCounted
  bool counting_paused = false;
  std::string status;      // the status line at the end
  uint32_t pass_count = 0;  // both counts after the run
  uint32_t fail_count = 0;
};

extern const char kVerdictPassed[];      // "通过"
extern const char kVerdictFailed[];      // "失败"
extern const char kVerdictNotCounted[];  // "不计数(编程器连接错误)"

// The record of the auto-program run that just finished, from the window's
// controls and the state record; `port` names the port as the user chose it.
ProductionRecord LastAutoRunRecord(const std::string& port);

// The local time to the second, "YYYY-MM-DD HH:MM:SS".
std::string LocalTimeText();

// The port in use as the window names it ("COM1".."COM4" for a ticked
// button, "COM7" for one chosen beyond them), or "".
std::string SelectedPortName();

// The header line and one record's line, each ended by CR LF.
std::string ProductionLogHeader();
std::string ProductionLogLine(const ProductionRecord& record);

// A production log file: opened for appending, the byte-order mark and the
// header written when it is new. Open returns why it cannot be written
// (empty on success); Append false once a write failed (Error says why).
class ProductionLog {
 public:
  std::string Open(const std::string& utf8_path);
  bool Append(const ProductionRecord& record);
  std::string Error() const { return file_.Error(); }

 private:
  TextFile file_;
};

// The window's production log: a file a day, "YYYY-MM-DD.csv" in `folder`
// (created when missing), a line per finished auto-program run. A log that
// cannot be written never stops production, but is never silent either: the
// first failed write after the program starts says so once, in a message
// box that names the file and the reason; the run, its counting and the
// runs after it go on, and later failures are not shown again.
class DailyProductionLog final : public ProductionRecorder {
 public:
  explicit DailyProductionLog(std::string utf8_folder) : folder_(std::move(utf8_folder)) {}

  // On the operation worker.
  void AutoRunFinished() override;

  // The file of the day `time` ("YYYY-MM-DD ..." as LocalTimeText gives it).
  std::string FileFor(const std::string& time) const;

 private:
  std::string folder_;
  std::mutex mu_;
  bool warned_ = false;
};

}  // namespace zvp
