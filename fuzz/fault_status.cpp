#include "fuzz/fault_status.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace zvp::fuzz {

namespace {

constexpr char kAddressWord[] = "地址:";
// The verdicts name the failing address as "在地址:" ("at address"); the
// progress texts show the address reached without it.
constexpr char kAtAddressWord[] = "在地址:";
constexpr char kPleaseWait[] = "请稍候";
// "请稍候再试" ("try again later") is advice in a failure text, not a wait.
constexpr char kTryLater[] = "请稍候再试";
constexpr char kDots[] = ".....";

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool ShowsAddressInProgress(const std::string& status) {
  const std::string word = kAddressWord, at = kAtAddressWord;
  const size_t prefix = at.size() - word.size();  // the bytes of "在"
  for (size_t pos = status.find(word); pos != std::string::npos; pos = status.find(word, pos + 1)) {
    const bool verdict = pos >= prefix && status.compare(pos - prefix, at.size(), at) == 0;
    if (!verdict) return true;
  }
  return false;
}

bool AsksToWait(const std::string& status) {
  const std::string wait = kPleaseWait, later = kTryLater;
  for (size_t pos = status.find(wait); pos != std::string::npos; pos = status.find(wait, pos + 1))
    if (status.compare(pos, later.size(), later) != 0) return true;
  return false;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

enum class Mode { kOff, kReport, kEnforce };

Mode ModeFromEnvironment() {
  const char* value = std::getenv("ZVP_FAULT_STATUS");
  if (value == nullptr) return Mode::kOff;
  const std::string mode = value;
  if (mode == "report") return Mode::kReport;
  if (mode == "enforce") return Mode::kEnforce;
  return Mode::kOff;
}

void Report(const std::string& key, const uint8_t* data, size_t size) {
  static std::set<std::string> seen;
  if (!seen.insert(key).second) return;
  const char* dir = std::getenv("ZVP_FAULT_STATUS_DIR");
  const std::filesystem::path folder = dir ? dir : ".";
  const std::filesystem::path file = folder / ("fault-status-" + std::to_string(seen.size()));
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  std::fprintf(stderr, "fault-status breach #%zu: %s (input: %s)\n", seen.size(), key.c_str(),
               file.string().c_str());
}

}  // namespace

bool IsInProgressText(const std::string& status) {
  return EndsWith(status, kDots) || AsksToWait(status) || ShowsAddressInProgress(status);
}

std::string BreachKey(const OperationEnd& end) {
  std::string status = end.status;
  const std::string word = kAddressWord;
  for (size_t pos = status.find(word); pos != std::string::npos;
       pos = status.find(word, pos + 1)) {
    size_t digits = pos + word.size();
    while (digits < status.size() && status[digits] == ' ') ++digits;
    size_t stop = digits;
    while (stop < status.size() && IsHexDigit(status[stop])) ++stop;
    if (stop > digits) status.replace(digits, stop - digits, "<addr>");
  }
  std::string key = end.operation + " | " + status;
  if (end.status_writes == 0) key += " [left from before]";
  return key;
}

void CheckFaultStatus(const OperationEnd& end, const uint8_t* data, size_t size) {
  static const Mode mode = ModeFromEnvironment();
  if (mode == Mode::kOff || !end.link_fault) return;
  if (end.status_writes > 0 && !IsInProgressText(end.status)) return;
  const std::string key = BreachKey(end);
  if (mode == Mode::kReport) {
    Report(key, data, size);
    return;
  }
  static const char* only = std::getenv("ZVP_FAULT_STATUS_ONLY");
  if (only != nullptr && key != only) return;
  std::fprintf(stderr, "reply_fuzz: a failed operation left no failure text: %s\n", key.c_str());
  std::abort();
}

}  // namespace zvp::fuzz
