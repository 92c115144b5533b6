// The command line's options: what argv says, checked before anything
// runs, and the usage text.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/option_boxes.h"

namespace zvp::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Invocation {
  std::string name;
  std::string arg;
};

struct Options {
  std::string port;
  bool simulate = false;
  std::string chip = "mtp", vdd = "5.0", vpp = "vcc";
  std::optional<std::string> options;
  std::string start = "0000", end = "1FFF";
  bool start_given = false, end_given = false;
  std::optional<std::string> file;
  bool debug = false, buzzer = false;
  bool chip_view = false, ascii = false;  // the code view's modes
  std::optional<bool> answer;  // --yes / --no
  std::string trace;
  bool repeat = false;
  std::string log;
  std::vector<Invocation> commands;
};

// One line that says what is wrong; the whole usage only when the command
// line says nothing useful at all.
int UsageError(const std::string& message);

// Parses argv; returns an exit status on error.
std::optional<int> Parse(int argc, const char* const* argv, Options* o);

}  // namespace zvp::cli
