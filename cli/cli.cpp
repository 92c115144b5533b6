#include "cli/cli.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <csignal>
#include <utility>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <ctime>
#include <functional>
#include <thread>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/auto_program.h"
#include "image/number_text.h"
#include "core/app_state.h"
#include "core/clock.h"
#include "link/address_range.h"
#include "link/connection.h"
#include "engine/engine.h"
#include "engine/operation_table.h"
#include "link/wire_trace.h"
#include "sim/sim_port.h"
#include "sim/virtual_programmer.h"
#include "ui/control_ids.h"
#include "ui/dispatcher.h"
#include "ui/headless_window.h"
#include "ui/operation_buttons.h"
#include "ui/production_log.h"
#include "ui/text_file.h"
#include "ui/start_up.h"
#include "ui/window_events.h"
#include "ui/window_choices.h"
#include "zvp_version.h"

namespace zvp {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Ctrl-C and SIGTERM. Outside an auto run the first asks the running
// transfer to stop, as the user's double-click on the status line does (a
// save then keeps the old file), the commands after it do not run, and a
// second signal ends the program at once. A chip in the socket is never
// left that way: during an auto run the first signal lets the chip finish
// (and is answered at once on standard error), a second stops the run at
// its next safe point (stop_requested, and user_abort for a transfer), and
// the run is logged as failed; no signal after it ends the program, so that
// every chip touched gets its line in the log.
//
// The handler touches only lock-free atomics and re-installs itself (the
// Windows runtime resets a handler before calling it); the words are
// printed by a thread that watches g_notice.
std::atomic<bool> g_interrupted{false};
std::atomic<int> g_signals{0};
std::atomic<bool> g_chip_in_socket{false};
// 1: the run ends after this chip; 2: it is being stopped now.
std::atomic<int> g_notice{0};
std::atomic<bool>* g_user_abort = nullptr;
std::atomic<bool>* g_stop_requested = nullptr;

extern "C" void OnStopSignal(int signal) {
  const int n = g_signals.fetch_add(1) + 1;
  g_interrupted = true;
  if (g_chip_in_socket) {
    if (n == 1) {
      g_notice = 1;
    } else {
      g_stop_requested->store(true);
      g_user_abort->store(true);
      g_notice = 2;
    }
    std::signal(signal, OnStopSignal);
  } else {
    g_user_abort->store(true);
    std::signal(signal, SIG_DFL);
  }
}

const char kUsage[] =
    "usage: zvp [OPTIONS] COMMAND [COMMAND ...]\n"
    "options:\n"
    "  --port NAME        the programmer's port (COM1, COM2, ... on Windows, a device path elsewhere)\n"
    "  --simulate         the built-in virtual programmer instead of a port\n"
    "  --chip otp|mtp     chip type (mtp)\n"
    "  --vdd 5.0|3.3      chip supply (5.0)\n"
    "  --vpp 12|vcc       programming voltage (vcc)\n"
    "  --options LIST     blank-check,erase,verify,smart,ldc-protect,read-protect,\n"
    "                     hw-write-protect, or none (verify,read-protect,smart,hw-write-protect,erase)\n"
    "  --start HEX        start address, up to 4 hex digits (0000)\n"
    "  --end HEX          end address, up to 4 hex digits (1FFF); either one given\n"
    "                     is typed again after download, which shows the file's range\n"
    "  --file PATH        code file\n"
    "  --debug            debug mode (the PC streams and compares the code itself)\n"
    "  --chip-view        view: show the chip instead of the programmer memory\n"
    "  --ascii            view: show the bytes as ASCII characters\n"
    "  --buzzer           sound the buzzer\n"
    "  --yes | --no       answer to confirmation boxes (default: ask on a terminal, else no)\n"
    "  --trace FILE       write a wire trace of every serial-port call\n"
    "  --repeat           auto: program chip after chip, one per line on standard input,\n"
    "                     until the input ends (the reset watch runs while waiting)\n"
    "  --log FILE         auto: append a line per finished run to FILE (also runs\n"
    "                     not counted: the programmer lost or restarted before\n"
    "                     the chip was changed)\n"
    "  --version          print the version and end\n"
    "commands:\n"
    "  connect download memsum init-memory blank-check verify chipsum copy-chip erase\n"
    "  read-protect ldc-protect hw-write-protect auto offline-master save-hex PATH\n"
    "  view ADDR (up to 5 hex digits) state\n"
    "exit status:\n"
    "  0  every command done\n"
    "  1  a command failed, was refused, was answered No (not done) or was\n"
    "     interrupted; the commands after it did not run. With auto --repeat:\n"
    "     a chip failed or was not counted\n"
    "  2  a usage error: an unknown or malformed option or command, no port\n"
    "     (neither --port nor --simulate), a log or trace file that cannot be\n"
    "     written\n";

struct OptionBox {
  const char* word;
  int id;
};
constexpr OptionBox kOptionBoxes[] = {
    {"blank-check", ctl::kAutoBlankCheck}, {"erase", ctl::kEraseBeforeProgram},
    {"verify", ctl::kAutoVerify},          {"smart", ctl::kEnableSmart},
    {"ldc-protect", ctl::kAutoLdcProtect}, {"read-protect", ctl::kAutoReadProtect},
    {"hw-write-protect", ctl::kAutoHwWriteProtect},
};

// A command: an operation of the engine's table (its word presses its
// button; init-memory, which has none, is F7), or one of the command line's
// own.
constexpr const char* kOwnCommands[] = {"connect", "state"};
// The commands that take an argument.
bool TakesArgument(const std::string& name) { return name == "save-hex" || name == "view"; }

bool IsCommand(const std::string& name) {
  for (const char* own : kOwnCommands)
    if (name == own) return true;
  return FindOperationByWord(name) != nullptr;
}

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
int UsageError(const std::string& message) {
  std::cerr << "zvp: " << message << "\n(zvp --help lists the options and commands)\n";
  return kExitUsage;
}

// Up to `digits` hexadecimal digits, nothing else: what the address boxes
// take. "0x10", "1FFFh", "1,FFF" and "-1" are refused rather than read in
// part by the window's rules.
bool IsHexAddress(const std::string& text, size_t digits) {
  if (text.empty() || text.size() > digits) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// Parses argv; returns an exit status on error.
std::optional<int> Parse(int argc, const char* const* argv, Options* o) {
  auto value = [&](int& i, std::string* out) {
    if (i + 1 >= argc) return false;
    *out = argv[++i];
    return true;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    std::string v;
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return kExitOk;
    } else if (a == "--version") {
      std::cout << "zvp " << ZVP_VERSION << "\n";
      return kExitOk;
    } else if (a == "--port") {
      if (!value(i, &o->port)) return UsageError("--port needs a name");
    } else if (a == "--simulate") {
      o->simulate = true;
    } else if (a == "--chip") {
      if (!value(i, &o->chip) || (o->chip != "otp" && o->chip != "mtp"))
        return UsageError("--chip takes otp or mtp");
    } else if (a == "--vdd") {
      if (!value(i, &o->vdd) || (o->vdd != "5.0" && o->vdd != "3.3"))
        return UsageError("--vdd takes 5.0 or 3.3");
    } else if (a == "--vpp") {
      if (!value(i, &o->vpp) || (o->vpp != "12" && o->vpp != "vcc"))
        return UsageError("--vpp takes 12 or vcc");
    } else if (a == "--options") {
      if (!value(i, &v)) return UsageError("--options needs a list");
      o->options = v;
    } else if (a == "--start" || a == "--end") {
      std::string* field = a == "--start" ? &o->start : &o->end;
      (a == "--start" ? o->start_given : o->end_given) = true;
      if (!value(i, field)) return UsageError(a + " needs an address");
      if (!IsHexAddress(*field, 4))
        return UsageError(a + " takes a hexadecimal address of 1 to 4 digits (0000..7FFF), not '" +
                          *field + "'");
    } else if (a == "--file") {
      if (!value(i, &v)) return UsageError("--file needs a path");
      o->file = v;
    } else if (a == "--debug") {
      o->debug = true;
    } else if (a == "--chip-view") {
      o->chip_view = true;
    } else if (a == "--ascii") {
      o->ascii = true;
    } else if (a == "--buzzer") {
      o->buzzer = true;
    } else if (a == "--yes") {
      o->answer = true;
    } else if (a == "--no") {
      o->answer = false;
    } else if (a == "--trace") {
      if (!value(i, &o->trace)) return UsageError("--trace needs a file");
    } else if (a == "--repeat") {
      o->repeat = true;
    } else if (a == "--log") {
      if (!value(i, &o->log)) return UsageError("--log needs a file");
    } else if (a.rfind("--", 0) == 0) {
      return UsageError("unknown option " + a);
    } else {
      if (!IsCommand(a)) return UsageError("unknown command " + a);
      Invocation inv{a, ""};
      if (TakesArgument(a) && !value(i, &inv.arg)) return UsageError(a + " needs an argument");
      if (a == "view" && !IsHexAddress(inv.arg, 5))
        return UsageError("view takes a hexadecimal address of 1 to 5 digits, not '" + inv.arg +
                          "'");
      o->commands.push_back(inv);
    }
  }
  if (o->commands.empty()) {
    std::cerr << "zvp: no command given\n" << kUsage;
    return kExitUsage;
  }
  if (o->simulate && !o->port.empty()) return UsageError("--port and --simulate exclude each other");
  // Every command but state talks to the programmer.
  const bool needs_port = std::any_of(o->commands.begin(), o->commands.end(), [](const Invocation& c) {
    return c.name != "state";
  });
  if (needs_port && !o->simulate && o->port.empty())
    return UsageError("no port: give --port DEVICE or --simulate");
  if (o->chip == "otp" && o->vdd == "3.3") return UsageError("an OTP chip takes only 5.0 V");
  // The offline master loads the file itself and takes the file's whole
  // range, as the window's button does: a typed range cannot apply.
  const bool master = std::any_of(o->commands.begin(), o->commands.end(),
                                  [](const Invocation& c) { return c.name == "offline-master"; });
  if (master && (o->start_given || o->end_given))
    return UsageError("offline-master takes the code file's whole range: drop --start/--end");
  if (o->options && *o->options != "none") {
    std::stringstream list(*o->options);
    std::string word;
    while (std::getline(list, word, ',')) {
      bool known = false;
      for (const OptionBox& b : kOptionBoxes) known = known || word == b.word;
      if (!known) return UsageError("unknown option word " + word);
    }
  }
  return std::nullopt;
}

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

// What the window shows, printed: status texts on standard output as they
// change, message boxes on standard error with their answers.
class Printer {
 public:
  Printer(bool terminal, std::optional<bool> answer, bool ask)
      : terminal_(terminal), answer_(answer), ask_(ask) {}

  void Status(const std::string& text) {
    std::lock_guard<std::mutex> lock(mu_);
    if (text == last_) return;
    // A progress text replaces the previous one in place on a terminal.
    const bool progress = IsProgress(text) && IsProgress(last_) && SamePrefix(text, last_);
    if (terminal_ && progress) {
      std::cout << "\r\033[K" << text << std::flush;
    } else {
      if (open_line_) std::cout << "\n";
      std::cout << text;
      if (terminal_ && IsProgress(text)) {
        std::cout << std::flush;
      } else {
        std::cout << "\n" << std::flush;
      }
    }
    open_line_ = terminal_ && IsProgress(text);
    last_ = text;
  }

  MsgAnswer Box(const MessageBox& box) {
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
    // Every question the program asks is "go on?": No leaves it not done.
    if (a == MsgAnswer::kNo || a == MsgAnswer::kCancel) declined_ = true;
    return a;
  }

  // A line of the command line's own on standard error, after the progress
  // line it may interrupt.
  void Notice(const std::string& text) {
    std::lock_guard<std::mutex> lock(mu_);
    if (open_line_) {
      std::cout << "\n" << std::flush;
      open_line_ = false;
    }
    std::cerr << text << "\n" << std::flush;
  }

  // Whether a question was answered No or Cancel since the last call.
  bool TakeDeclined() {
    std::lock_guard<std::mutex> lock(mu_);
    return std::exchange(declined_, false);
  }

  void Finish() {
    std::lock_guard<std::mutex> lock(mu_);
    if (open_line_) std::cout << "\n" << std::flush;
    open_line_ = false;
  }

 private:
  static bool IsProgress(const std::string& t) {
    return t.find("地址: ") != std::string::npos || t.find("地址:  ") != std::string::npos;
  }
  static bool SamePrefix(const std::string& a, const std::string& b) {
    const size_t pa = a.find("地址"), pb = b.find("地址");
    return pa == pb && a.compare(0, pa, b, 0, pb) == 0;
  }

  std::mutex mu_;
  bool terminal_;
  std::optional<bool> answer_;
  bool ask_;
  std::string last_;
  bool open_line_ = false;
  bool declined_ = false;
};

// The answers to the stop signals of an auto run, printed from a thread of
// its own within a fiftieth of a second of the signal (the handler may not
// print).
class SignalNotices {
 public:
  explicit SignalNotices(Printer& printer) : printer_(printer), thread_([this] { Watch(); }) {}
  ~SignalNotices() {
    done_ = true;
    thread_.join();
  }
  SignalNotices(const SignalNotices&) = delete;
  SignalNotices& operator=(const SignalNotices&) = delete;

 private:
  void Watch() {
    int said = 0;
    for (;;) {
      // A signal that came just before the end is still answered.
      const bool last = done_;
      const int notice = g_notice;
      if (notice > said) {
        printer_.Notice(notice == 1
                            ? "zvp: stopping after this chip; Ctrl-C again stops it now, and "
                              "the chip is logged as failed"
                            : "zvp: stopping this chip now: no further step runs on it (a code "
                              "stream stops at once); it is logged as failed");
        said = notice;
      }
      if (last) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  Printer& printer_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

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

// The window's choices from the options, set the way a user would set them.
void ApplyChoices(HeadlessWindow& w, const Options& o) {
  AppState& app = App();
  w.Click(o.chip == "otp" ? ctl::kChipOtp : ctl::kChipMtp);
  w.Click(o.vdd == "3.3" ? ctl::kVdd33 : ctl::kVdd50);
  w.Click(o.vpp == "12" ? ctl::kVpp12 : ctl::kVppVcc);
  if (o.options) {
    for (const OptionBox& b : kOptionBoxes) w.SetChecked(b.id, false);
    std::stringstream list(*o.options);
    std::string word;
    while (std::getline(list, word, ','))
      for (const OptionBox& b : kOptionBoxes)
        if (word == b.word) w.SetChecked(b.id, true);
  }
  w.SetText(ctl::kStartAddress, o.start);
  w.SetText(ctl::kEndAddress, o.end);
  if (o.file) w.SetText(ctl::kFileBox, *o.file);
  w.SetChecked(ctl::kDebugMode, o.debug);
  // The window starts with the buzzer on; a command line is quiet unless asked.
  w.SetChecked(ctl::kBuzzer, o.buzzer);
  if (o.buzzer) {
    app.function_flags |= fn::kBuzzer;
  } else {
    app.function_flags &= ~fn::kBuzzer;
  }
}

// The window's own words for an operation that did nothing because the
// user said no or the mode forbids it (offline master in debug mode).
bool SaysNotDone(const std::string& status) {
  return status == "操作已中止" || status == "操作已退出";
}

// What one press of a button came to.
enum class Pressed { kRefused, kDone, kFailed, kDeclined };

// Presses `button` and waits for the operation it starts: refused when
// nothing started (a guard said no, or the button is greyed), declined when
// the user answered a question No or the operation says it did nothing,
// failed when link_fault is left set.
Pressed Press(HeadlessWindow& w, Printer& printer, int button) {
  if (!w.IsEnabled(button)) {
    // The window greys the MTP-only buttons for an OTP chip; a user could
    // not press them, and neither can the command line.
    std::cerr << "zvp: that button is greyed out for the chosen chip type\n";
    return Pressed::kRefused;
  }
  printer.TakeDeclined();
  const uint64_t before = WorkersStarted();
  w.Click(button);
  WaitForWorkers();
  if (WorkersStarted() == before) return Pressed::kRefused;
  if (printer.TakeDeclined() || SaysNotDone(w.Status())) return Pressed::kDeclined;
  return App().link_fault == 0 ? Pressed::kDone : Pressed::kFailed;
}

// Lines typed on standard input, read on a thread of their own so that the
// reset watch can tick while the operator changes chips. The reading thread
// cannot be interrupted (a read of a terminal waits for the user) and may
// outlive the waiter, so what both touch is shared and lives as long as
// either needs it.
class LineWaiter {
 public:
  LineWaiter() : shared_(std::make_shared<Shared>()) {
    std::thread([shared = shared_] {
      std::string line;
      while (std::getline(std::cin, line)) {
        std::lock_guard<std::mutex> lock(shared->mu);
        ++shared->lines;
        shared->cv.notify_all();
      }
      std::lock_guard<std::mutex> lock(shared->mu);
      shared->ended = true;
      shared->cv.notify_all();
    }).detach();
  }
  // Waits for the next line, calling `tick` once a second meanwhile. False
  // at the end of the input or after a stop signal.
  bool Next(const std::function<void()>& tick) {
    Shared& s = *shared_;
    std::unique_lock<std::mutex> lock(s.mu);
    while (s.lines == 0 && !s.ended && !g_interrupted) {
      if (!s.cv.wait_for(lock, std::chrono::seconds(1), [&] { return s.lines > 0 || s.ended; })) {
        lock.unlock();
        tick();
        lock.lock();
      }
    }
    if (s.lines == 0 || g_interrupted) return false;
    --s.lines;
    return true;
  }

 private:
  struct Shared {
    std::mutex mu;
    std::condition_variable cv;
    int lines = 0;
    bool ended = false;
  };
  std::shared_ptr<Shared> shared_;
};

// Everything a command needs besides the window.
struct Session {
  HeadlessWindow& window;
  Printer& printer;
  const Options& options;
  std::string port_name;  // as connected; empty without a port
  ProductionLog* log = nullptr;
  int chips = 0;            // auto runs done
  bool log_failed = false;  // a run's line could not be logged
};

// One auto-program run, logged when it ran (a guard that refused ran
// nothing). A line the log could not take is said with the chip it
// belongs to and printed in full; the chip's own result stands.
Pressed RunAuto(Session& s) {
  // From here to its line in the log the chip is in the socket: a stop
  // signal lets it finish (see OnStopSignal).
  g_chip_in_socket = true;
  if (g_interrupted) {
    g_chip_in_socket = false;
    return Pressed::kRefused;
  }
  const Pressed result = Press(s.window, s.printer, ctl::kAutoProgram);
  if (result != Pressed::kRefused) ++s.chips;
  if (result != Pressed::kRefused && s.log) {
    const ProductionRecord record = LastAutoRunRecord(s.port_name);
    if (!s.log->Append(record)) {
      s.log_failed = true;
      std::string line = ProductionLogLine(record);
      line.erase(line.find_last_not_of("\r\n") + 1);
      std::cerr << "zvp: writing the log file " << s.options.log << " failed: " << s.log->Error()
                << "; stopped\n"
                << "zvp: chip " << s.chips << " (" << record.time << ", " << record.verdict
                << ") is not in the log; its line would have been:\n"
                << line << "\n"
                << std::flush;
    }
  }
  g_chip_in_socket = false;
  return result;
}

// The production run: chip after chip until the input ends, then the
// totals. True only when every chip passed.
bool RunProduction(Session& s) {
  LineWaiter waiter;
  bool all_passed = true;
  int runs = 0;
  for (;;) {
    const Pressed result = RunAuto(s);
    // A guard that refuses now refuses every next chip too.
    if (result == Pressed::kRefused) {
      all_passed = false;
      break;
    }
    ++runs;
    all_passed = all_passed && result == Pressed::kDone;
    const AppState& app = App();
    std::cout << "pass: " << app.pass_count << "  fail: " << app.fail_count << "\n" << std::flush;
    // A run the programmer could not take part in counted no chip: say why.
    const AutoVerdict verdict = LastAutoRun().verdict;
    if (result != Pressed::kDone && verdict == AutoVerdict::kNotCounted) {
      std::cerr << (app.port_chosen ? "zvp: the programmer does not answer; this chip was not counted\n"
                                    : "zvp: the programmer's port has gone; this chip was not counted\n")
                << std::flush;
    } else if (result != Pressed::kDone && verdict == AutoVerdict::kNotCountedRestart) {
      std::cerr << "zvp: the programmer restarted and lost the code; this chip was not counted\n"
                << std::flush;
    }
    // A log that cannot take the next line, or a stop: no next chip.
    if (s.log_failed || g_interrupted) break;
    std::cerr << "zvp: Enter programs the next chip; end of input stops\n" << std::flush;
    if (!waiter.Next([] { OnTimerTick(ctl::kResetPollTimer); })) break;
    StopResetPoll();
  }
  StopResetPoll();
  const AppState& app = App();
  std::cout << "total: " << runs << " runs, pass: " << app.pass_count
            << "  fail: " << app.fail_count << (all_passed ? "" : "  (not every chip passed)")
            << "\n"
            << std::flush;
  return all_passed && !s.log_failed;
}

// The code view's page at `address` as the window shows it: "显示内存数据",
// then the address and "设 置", printed as its 16 rows; "返 回" afterwards
// gives the following commands their buttons back.
bool ShowPage(Session& s, const std::string& address) {
  HeadlessWindow& w = s.window;
  if (Press(w, s.printer, ctl::kShowMemory) != Pressed::kDone) return false;
  // The first show selects the memory view in hexadecimal and page 0; the
  // modes are chosen afterwards, without a refresh of their own.
  SelectRadio(s.options.chip_view ? ctl::kViewChip : ctl::kViewMemory);
  w.SetChecked(ctl::kViewAscii, s.options.ascii);
  w.SetText(ctl::kViewAddress, address);
  const bool shown = Press(w, s.printer, ctl::kViewSet) == Pressed::kDone;
  if (shown) {
    std::string table = "ADDR ";
    for (int column = 0; column < 16; ++column) table += "  " + FormatNumber(column, 16, 1);
    table += "\n";
    for (int row = 0; row < 16; ++row) {
      table += w.ListCell(row, 0);
      for (int column = 1; column <= 16; ++column) {
        const std::string cell = w.ListCell(row, column);
        table += std::string(3 - std::min<size_t>(cell.size(), 2), ' ') + cell;
      }
      table += "\n";
    }
    std::cout << table << std::flush;
  }
  w.Click(ctl::kBack);
  return shown;
}

// A download shows the file's range in the address boxes; --start and --end
// are typed into them again afterwards, as a technician types after opening
// a file. The download's checksum then covers another range than the
// boxes, which auto refuses until the programmer memory is summed over the
// new range: "缓冲区检查和" is pressed, as the technician would press it.
bool TypeRangeAfterLoad(Session& s) {
  const Options& o = s.options;
  if (!o.start_given && !o.end_given) return true;
  if (o.start_given) s.window.SetText(ctl::kStartAddress, o.start);
  if (o.end_given) s.window.SetText(ctl::kEndAddress, o.end);
  const AppState& app = App();
  ReadAddressRange();
  if (app.range_start == app.checksum_start && app.range_end == app.checksum_end) return true;
  return Press(s.window, s.printer, ctl::kBufferChecksum) == Pressed::kDone;
}

bool RunCommand(Session& s, const Invocation& inv) {
  const std::string& name = inv.name;
  if (name == "connect") return App().programmer_found == 1;
  if (name == "state") {
    PrintState(s.window, s.port_name);
    return App().link_fault == 0;
  }
  if (name == "init-memory") {
    s.printer.TakeDeclined();
    OnFunctionKey(0x76);  // F7
    return !s.printer.TakeDeclined() && !SaysNotDone(s.window.Status()) && App().link_fault == 0;
  }
  if (name == "view") return ShowPage(s, inv.arg);
  if (name == "auto") {
    if (s.options.repeat) return RunProduction(s);
    return RunAuto(s) == Pressed::kDone && !s.log_failed;
  }
  if (name == "download")
    return Press(s.window, s.printer, ctl::kDownload) == Pressed::kDone && TypeRangeAfterLoad(s);
  return Press(s.window, s.printer, OperationButton(FindOperationByWord(name)->code)) == Pressed::kDone;
}

}  // namespace

int RunCli(int argc, const char* const* argv, const CliPlatform& platform) {
  Options o;
  if (auto status = Parse(argc, argv, &o)) return *status;

  // The files come first: a log or trace that cannot be written is a usage
  // error before any chip is touched.
  ProductionLog log(platform.log_file, o.log);
  if (!o.log.empty()) {
    if (platform.log_file == nullptr) return UsageError("--log is not available on this system");
    const std::string error = log.Open();
    if (!error.empty()) return UsageError("cannot write the log file " + o.log + ": " + error);
  }
  TextFile trace_file;
  if (!o.trace.empty()) {
    const std::string error = trace_file.Open(o.trace, TextFile::Mode::kReplace);
    if (!error.empty()) return UsageError("cannot write the trace file " + o.trace + ": " + error);
  }

  AppState& app = App();
  ResetAppState();
  SystemClock clock;
  app.clock = &clock;
  app.priority = platform.priority;

  // The serial port: the platform's, or the built-in virtual programmer.
  std::unique_ptr<VirtualProgrammer> device;
  std::unique_ptr<SimPort> sim_port;
  SerialPort* port = platform.port;
  std::string port_name;
  if (o.simulate) {
    device = std::make_unique<VirtualProgrammer>();
    sim_port = std::make_unique<SimPort>(device.get(), &clock);
    port = sim_port.get();
    port_name = "COM1";
  } else if (!o.port.empty()) {
    port_name = platform.map_port ? platform.map_port(o.port) : "";
    if (port_name.empty()) return UsageError("cannot use the port " + o.port);
  }

  std::unique_ptr<WireTrace> trace;
  std::unique_ptr<TracedPort> traced;
  std::atomic<bool> trace_failed{false};
  if (trace_file.IsOpen()) {
    trace = std::make_unique<WireTrace>(&clock, [&](const std::string& line) {
      // A trace that lost a line is no trace: the transfer stops, saying
      // why, and the run ends after it.
      if (!trace_file.Write(line + "\n")) {
        trace_failed = true;
        trace->Fail(trace_file.Error());
      }
    });
    if (port) {
      traced = std::make_unique<TracedPort>(port, trace.get());
      port = traced.get();
    }
    app.trace = trace.get();
  }
  app.port = port;

  HeadlessWindow window;
  InstallWindow(&window);
  Printer printer(platform.stdout_is_terminal, o.answer, platform.stdin_is_terminal);

  // The window as it starts for the first time, then the options' choices.
  window.ResetToCreatedState();
  InitialiseMainWindow();
  ApplyChoices(window, o);

  HeadlessWindow::Observers watch;
  watch.status_changed = [&](const std::string& text) { printer.Status(text); };
  watch.message_box = [&](const MessageBox& box) { return printer.Box(box); };
  // The save dialog answers each save-hex command with its PATH, in order.
  std::deque<std::string> save_paths;
  for (const Invocation& inv : o.commands)
    if (inv.name == "save-hex") save_paths.push_back(inv.arg);
  watch.save_file = [&save_paths](const std::string&) -> std::optional<std::string> {
    if (save_paths.empty()) return std::nullopt;
    std::string path = save_paths.front();
    save_paths.pop_front();
    return path;
  };
  window.SetObservers(watch);

  g_interrupted = false;
  app.stop_requested = false;
  g_signals = 0;
  g_notice = 0;
  g_chip_in_socket = false;
  g_user_abort = &app.user_abort;
  g_stop_requested = &app.stop_requested;
  SignalNotices notices(printer);
  auto previous_int = std::signal(SIGINT, OnStopSignal);
  auto previous_term = std::signal(SIGTERM, OnStopSignal);

  Session session{window, printer, o, port_name, o.log.empty() ? nullptr : &log};
  int status = kExitOk;
  if (!port_name.empty()) {
    // As a saved port is connected at start-up: the radio button when the
    // window has one for it, then the connection.
    for (int n = 1; n <= 4; ++n) {
      if (port_name == "COM" + std::to_string(n)) SelectRadio(ctl::kCom1 + n - 1);
    }
    ConnectPort(port_name, ReadOperatorChoices());
    if (!app.programmer_found) {
      status = kExitFailed;
      const std::string why = platform.open_error ? platform.open_error() : "";
      if (!why.empty()) std::cerr << "zvp: cannot open the port: " << why << "\n";
    }
  }
  if (status == kExitOk) {
    for (const Invocation& inv : o.commands) {
      if (!RunCommand(session, inv) || trace_failed || g_interrupted) {
        status = kExitFailed;
        break;
      }
    }
  }
  if (trace_failed) {
    std::cerr << "zvp: writing the trace file " << o.trace << " failed: " << trace_file.Error()
              << "; stopped\n";
    status = kExitFailed;
  } else if (g_interrupted) {
    std::cerr << "zvp: interrupted; stopped\n";
    status = kExitFailed;
  }
  WaitForResetPoll();
  printer.Finish();
  std::signal(SIGINT, previous_int == SIG_ERR ? SIG_DFL : previous_int);
  std::signal(SIGTERM, previous_term == SIG_ERR ? SIG_DFL : previous_term);
  window.SetObservers({});
  InstallWindow(nullptr);
  app.port = nullptr;
  app.trace = nullptr;
  app.clock = nullptr;
  if (port) port->Close();
  return status;
}

}  // namespace zvp
