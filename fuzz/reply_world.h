// The world the reply fuzzer runs each operation in, built the way the
// command line builds its own (cli/cli.cpp): App() with the given port, a
// virtual clock, a headless main window in its first-start state whose boxes
// answer Yes or OK, whose open dialog picks a small code file and whose save
// dialog a file in a scratch folder, the port chosen and the programmer
// found. Then the input's choices go into the window, and one operation
// runs on the calling thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/reply_input.h"
#include "sim/virtual_clock.h"
#include "ui/headless_window.h"

namespace zvp::fuzz {

// How one operation ended.
struct OperationEnd {
  std::string operation;  // its name, with " debug" when the debug box was ticked
  std::string status;     // the status line at the end
  bool link_fault = false;
  int status_writes = 0;  // status texts the operation itself wrote
  int64_t virtual_us = 0;  // the time it took on the virtual clock
};

class ReplyWorld {
 public:
  ReplyWorld();
  ~ReplyWorld();
  ReplyWorld(const ReplyWorld&) = delete;
  ReplyWorld& operator=(const ReplyWorld&) = delete;

  // The name OperationEnd::operation will carry for `choices`.
  static std::string OperationName(const ReplyChoices& choices);
  // The input byte that selects the operation named `name` (without
  // " debug"); aborts for a name that is not in the table.
  static uint8_t OperationIndex(const std::string& name);

  // Rebuilds the start state on `port`, applies `choices` and runs the
  // chosen operation. `port` must be new to the operation (closed, or open
  // on nothing that matters): the world opens COM1 on it first.
  OperationEnd Run(const ReplyChoices& choices, SerialPort* port);

  VirtualClock& clock() { return clock_; }
  HeadlessWindow& window() { return window_; }
  // The code file's bytes, loaded at address 0.
  static const std::vector<uint8_t>& CodeImage();

 private:
  void Prepare(const ReplyChoices& choices, uint8_t code, SerialPort* port);

  std::filesystem::path scratch_;
  std::filesystem::path code_file_;
  std::filesystem::path save_file_;
  VirtualClock clock_;
  HeadlessWindow window_;
  int status_writes_ = 0;
};

}  // namespace zvp::fuzz
