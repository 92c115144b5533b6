#include "cli/terminal.h"

#include <iostream>

#include "cli/options.h"
#include "core/app_state.h"
#include "ui/control_ids.h"

namespace zvp::cli {

namespace {

const char* AnswerName(MsgAnswer a) {
  switch (a) {
    case MsgAnswer::kOk:
      return "OK";
    case MsgAnswer::kCancel:
      return "Cancel";
    case MsgAnswer::kYes:
      return "Yes";
    case MsgAnswer::kNo:
      return "No";
  }
  return "?";
}

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n') c = ' ';
  return text;
}

}  // namespace

void Printer::Status(const std::string& text, const Progress* progress) {
  std::lock_guard<std::mutex> lock(mu_);
  if (text == last_) return;
  const std::optional<ProgressStage> stage =
      IsProgressLine(progress) ? std::optional(progress->stage) : std::nullopt;
  // A progress line replaces the previous one of its stage in place on a
  // terminal.
  if (terminal_ && stage && stage == last_stage_) {
    std::cout << "\r\033[K" << text << std::flush;
  } else {
    if (open_line_) std::cout << "\n";
    std::cout << text;
    if (terminal_ && stage) {
      std::cout << std::flush;
    } else {
      std::cout << "\n" << std::flush;
    }
  }
  open_line_ = terminal_ && stage;
  last_ = text;
  last_stage_ = stage;
}

MsgAnswer Printer::Box(const MessageBox& box) {
  std::lock_guard<std::mutex> lock(mu_);
  if (open_line_) {
    std::cout << "\n" << std::flush;
    open_line_ = false;
  }
  MsgAnswer a = MsgAnswer::kOk;
  if (box.buttons != MsgButtons::kOk) {
    const MsgAnswer yes = box.buttons == MsgButtons::kYesNo ? MsgAnswer::kYes : MsgAnswer::kOk;
    const MsgAnswer no = box.buttons == MsgButtons::kYesNo ? MsgAnswer::kNo : MsgAnswer::kCancel;
    if (answer_) {
      a = *answer_ ? yes : no;
    } else if (ask_) {
      std::cerr << "[" << box.caption << "] " << OneLine(box.text) << " (y/n)? " << std::flush;
      std::string line;
      std::getline(std::cin, line);
      a = (!line.empty() && (line[0] == 'y' || line[0] == 'Y')) ? yes : no;
    } else {
      a = no;
    }
  }
  std::cerr << "[" << box.caption << "] " << OneLine(box.text) << " -> " << AnswerName(a)
            << "\n"
            << std::flush;
  return a;
}

void Printer::Notice(const std::string& text) {
  std::lock_guard<std::mutex> lock(mu_);
  if (open_line_) {
    std::cout << "\n" << std::flush;
    open_line_ = false;
  }
  std::cerr << text << "\n" << std::flush;
}

void Printer::Finish() {
  std::lock_guard<std::mutex> lock(mu_);
  if (open_line_) std::cout << "\n" << std::flush;
  open_line_ = false;
}

void PrintState(HeadlessWindow& w, const std::string& port_name) {
  const AppState& app = App();
  std::string options;
  for (const OptionBox& b : kOptionBoxes) {
    if (w.IsChecked(b.id) && w.IsEnabled(b.id)) options += (options.empty() ? "" : ",") + std::string(b.word);
  }
  std::cout << "port: " << (port_name.empty() ? std::string("none") : port_name) << "\n"
            << "chip: " << (w.IsChecked(ctl::kChipOtp) ? "otp" : "mtp") << "\n"
            << "vdd: " << w.GetText(ctl::kVddBox, 16) << "\n"
            << "vpp: " << (w.IsChecked(ctl::kVpp12) ? "12" : "vcc") << "\n"
            << "options: " << (options.empty() ? "none" : options) << "\n"
            << "debug: " << (w.IsChecked(ctl::kDebugMode) ? "on" : "off") << "\n"
            << "buzzer: " << ((app.function_flags & fn::kBuzzer) ? "on" : "off") << "\n"
            << "start: " << w.GetText(ctl::kStartAddress, 127) << "\n"
            << "end: " << w.GetText(ctl::kEndAddress, 127) << "\n"
            << "checksum: " << w.GetText(ctl::kChecksumBox, 16) << "\n"
            << "file: " << w.GetText(ctl::kFileBox, 1023) << "\n"
            << "pass: " << w.GetText(ctl::kPassBox, 16) << "\n"
            << "fail: " << w.GetText(ctl::kFailBox, 16) << "\n"
            << "programmer: " << (app.programmer_found ? "found" : "not found") << "\n"
            << "memory: " << (app.memory_loaded ? "loaded" : "empty") << "\n"
            << "status: " << w.Status() << "\n"
            << std::flush;
}

}  // namespace zvp::cli
