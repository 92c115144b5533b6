#include "cli/cli.h"

#include <algorithm>
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

#include "chipops/auto_program.h"
#include "image/number_text.h"
#include "link/app_state.h"
#include "link/clock.h"
#include "link/connection.h"
#include "link/engine.h"
#include "link/wire_trace.h"
#include "sim/sim_port.h"
#include "sim/virtual_programmer.h"
#include "ui/control_ids.h"
#include "ui/dispatcher.h"
#include "ui/headless_window.h"
#include "ui/start_up.h"
#include "ui/window_events.h"
#include "zvp_version.h"

namespace zvp {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: zvp [OPTIONS] COMMAND [COMMAND ...]\n"
    "options:\n"
    "  --port NAME        the programmer's port (COM1..COM4 on Windows, a device path elsewhere)\n"
    "  --simulate         the built-in virtual programmer instead of a port\n"
    "  --chip otp|mtp     chip type (mtp)\n"
    "  --vdd 5.0|3.3      chip supply (5.0)\n"
    "  --vpp 12|vcc       programming voltage (vcc)\n"
    "  --options LIST     blank-check,erase,verify,smart,ldc-protect,read-protect,\n"
    "                     hw-write-protect, or none (verify,read-protect,smart,hw-write-protect,erase)\n"
    "  --start HEX        start address (0000)\n"
    "  --end HEX          end address (1FFF)\n"
    "  --file PATH        code file\n"
    "  --debug            debug mode (the PC streams and compares the code itself)\n"
    "  --chip-view        view: show the chip instead of the programmer memory\n"
    "  --ascii            view: show the bytes as ASCII characters\n"
    "  --buzzer           sound the buzzer\n"
    "  --yes | --no       answer to confirmation boxes (default: ask on a terminal, else no)\n"
    "  --trace FILE       write a wire trace of every serial-port call\n"
    "  --repeat           auto: program chip after chip, one per line on standard input,\n"
    "                     until the input ends (the reset watch runs while waiting)\n"
    "  --log FILE         auto: append a line per finished run to FILE\n"
    "  --version          print the version and end\n"
    "commands:\n"
    "  connect download memsum init-memory blank-check verify chipsum copy-chip erase\n"
    "  read-protect ldc-protect hw-write-protect auto offline-master save-hex PATH\n"
    "  view ADDR state\n";

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

// A command and the button (or key) it presses.
struct CommandSpec {
  const char* name;
  int button;        // control id, or 0
  uint8_t code;      // the operation the button starts, or 0 for none
  bool takes_arg;
};
constexpr CommandSpec kCommands[] = {
    {"connect", 0, 0, false},
    {"download", ctl::kDownload, OpDownloadCode, false},
    {"memsum", ctl::kBufferChecksum, OpMemoryChecksum, false},
    {"init-memory", 0, OpInitMemory, false},
    {"blank-check", ctl::kBlankCheck, OpBlankCheck, false},
    {"verify", ctl::kVerifyChip, OpVerifyChip, false},
    {"chipsum", ctl::kChipChecksum, OpChipChecksum, false},
    {"copy-chip", ctl::kCopyChip, OpCopyChipToBuffer, false},
    {"erase", ctl::kEraseMtp, OpEraseMtp, false},
    {"read-protect", ctl::kReadProtect, OpReadProtect, false},
    {"ldc-protect", ctl::kLdcProtect, OpLdcProtect, false},
    {"hw-write-protect", ctl::kHwWriteProtect, OpHardwareWriteProtect, false},
    {"auto", ctl::kAutoProgram, OpAutoProgram, false},
    {"offline-master", ctl::kOfflineMaster, OpMakeOfflineMaster, false},
    {"save-hex", ctl::kSaveHex, OpSaveHexFile, true},
    {"view", ctl::kShowMemory, OpViewShow, true},
    {"state", 0, 0, false},
};

const CommandSpec* FindCommand(const std::string& name) {
  for (const CommandSpec& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

struct Invocation {
  const CommandSpec* entry;
  std::string arg;
};

struct Options {
  std::string port;
  bool simulate = false;
  std::string chip = "mtp", vdd = "5.0", vpp = "vcc";
  std::optional<std::string> options;
  std::string start = "0000", end = "1FFF";
  std::optional<std::string> file;
  bool debug = false, buzzer = false;
  bool chip_view = false, ascii = false;  // the code view's modes
  std::optional<bool> answer;  // --yes / --no
  std::string trace;
  bool repeat = false;
  std::string log;
  std::vector<Invocation> commands;
};

int UsageError(const std::string& message) {
  std::cerr << "zvp: " << message << "\n" << kUsage;
  return kExitUsage;
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
    } else if (a == "--start") {
      if (!value(i, &o->start)) return UsageError("--start needs an address");
    } else if (a == "--end") {
      if (!value(i, &o->end)) return UsageError("--end needs an address");
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
      const CommandSpec* entry = FindCommand(a);
      if (!entry) return UsageError("unknown command " + a);
      Invocation inv{entry, ""};
      if (entry->takes_arg && !value(i, &inv.arg)) return UsageError(a + " needs an argument");
      o->commands.push_back(inv);
    }
  }
  if (o->commands.empty()) return UsageError("no command given");
  if (o->simulate && !o->port.empty()) return UsageError("--port and --simulate exclude each other");
  if (o->chip == "otp" && o->vdd == "3.3") return UsageError("an OTP chip takes only 5.0 V");
  if (o->options && *o->options != "none") {
    std::stringstream list(*o->options);
    std::string word;
    while (std::getline(list, word, ',')) {
      bool known = false;
      for (const OptionBox& b : kOptionBoxes) known = known || word == b.word;
      if (!known) return UsageError("unknown option word " + word);
    }
  }
  for (const Invocation& inv : o->commands) {
    if (inv.entry->code && !OperationAvailable(inv.entry->code)) {
      std::cerr << "zvp: the command " << inv.entry->name
                << " is not available in this version yet\n";
      return kExitUsage;
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
    return a;
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
};

void PrintState(HeadlessWindow& w, const std::string& port_arg) {
  const AppState& app = App();
  const int port = SelectedPort();
  std::string options;
  for (const OptionBox& b : kOptionBoxes) {
    if (w.IsChecked(b.id) && w.IsEnabled(b.id)) options += (options.empty() ? "" : ",") + std::string(b.word);
  }
  std::cout << "port: " << (port ? "COM" + std::to_string(port) : std::string("none"))
            << (port && !port_arg.empty() && port_arg.rfind("COM", 0) != 0 ? " (" + port_arg + ")" : "")
            << "\n"
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

// Presses `button` and waits for the operation it starts. False when nothing
// started (a guard refused) or the operation left link_fault set.
bool Press(HeadlessWindow& w, int button) {
  if (!w.IsEnabled(button)) {
    // The window greys the MTP-only buttons for an OTP chip; a user could
    // not press them, and neither can the command line.
    std::cerr << "zvp: that button is greyed out for the chosen chip type\n";
    return false;
  }
  const uint64_t before = WorkersStarted();
  w.Click(button);
  WaitForWorkers();
  if (WorkersStarted() == before) return false;
  return App().link_fault == 0;
}

const char* StepName(uint8_t code) {
  switch (code) {
    case OpBlankCheck:
      return "blank-check";
    case OpEraseMtp:
      return "erase";
    case OpProgramChip:
      return "program";
    case OpProgramChipDirect:
      return "program-direct";
    case OpVerifyChip:
      return "verify";
    case OpChipChecksum:
      return "chipsum";
    case OpEnableSmart:
      return "smart";
    case OpLdcProtect:
      return "ldc-protect";
    case OpReadProtect:
      return "read-protect";
    case OpHardwareWriteProtect:
      return "hw-write-protect";
  }
  return "?";
}

// Lines typed on standard input, read on a thread of their own so that the
// reset watch can tick while the operator changes chips.
class LineWaiter {
 public:
  LineWaiter() {
    std::thread([this] {
      std::string line;
      while (std::getline(std::cin, line)) {
        std::lock_guard<std::mutex> lock(mu_);
        ++lines_;
        cv_.notify_all();
      }
      std::lock_guard<std::mutex> lock(mu_);
      ended_ = true;
      cv_.notify_all();
    }).detach();  // a read of a terminal cannot be interrupted; the process end ends it
  }
  // Waits for the next line, calling `tick` once a second meanwhile. False
  // at the end of the input.
  bool Next(const std::function<void()>& tick) {
    std::unique_lock<std::mutex> lock(mu_);
    while (lines_ == 0 && !ended_) {
      if (!cv_.wait_for(lock, std::chrono::seconds(1), [&] { return lines_ > 0 || ended_; })) {
        lock.unlock();
        tick();
        lock.lock();
      }
    }
    if (lines_ == 0) return false;
    --lines_;
    return true;
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  int lines_ = 0;
  bool ended_ = false;
};

std::string LocalTime() {
  const std::time_t now = std::time(nullptr);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  return text;
}

// The production run: chip after chip until the input ends. The result is
// the last run's.
bool RunProduction(HeadlessWindow& w, const Options& o) {
  std::ofstream log;
  if (!o.log.empty()) log.open(o.log, std::ios::out | std::ios::app);
  LineWaiter waiter;
  bool passed = false;
  for (;;) {
    passed = Press(w, ctl::kAutoProgram);
    const AppState& app = App();
    std::cout << "pass: " << app.pass_count << "  fail: " << app.fail_count << "\n" << std::flush;
    if (log) {
      std::string steps;
      for (uint8_t code : LastAutoSteps()) steps += (steps.empty() ? "" : ",") + std::string(StepName(code));
      log << LocalTime() << "\t" << (passed ? "pass" : "fail") << "\t"
          << (steps.empty() ? "-" : steps) << "\t" << w.Status() << "\tpass=" << app.pass_count
          << "\tfail=" << app.fail_count << "\n"
          << std::flush;
    }
    std::cerr << "zvp: Enter programs the next chip; end of input stops\n" << std::flush;
    if (!waiter.Next([] { OnTimerTick(ctl::kResetPollTimer); })) break;
    StopResetPoll();
  }
  StopResetPoll();
  return passed;
}

// The code view's page at `address` as the window shows it: "显示内存数据",
// then the address and "设 置", printed as its 16 rows; "返 回" afterwards
// gives the following commands their buttons back.
bool ShowPage(HeadlessWindow& w, const std::string& address, const Options& o) {
  if (!Press(w, ctl::kShowMemory)) return false;
  // The first show selects the memory view in hexadecimal and page 0; the
  // modes are chosen afterwards, without a refresh of their own.
  SelectRadio(o.chip_view ? ctl::kViewChip : ctl::kViewMemory);
  w.SetChecked(ctl::kViewAscii, o.ascii);
  w.SetText(ctl::kViewAddress, address);
  const bool shown = Press(w, ctl::kViewSet);
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

bool RunCommand(HeadlessWindow& w, const Invocation& inv, const Options& o) {
  const CommandSpec& c = *inv.entry;
  const std::string name = c.name;
  if (name == "connect") return App().programmer_found == 1;
  if (name == "state") {
    PrintState(w, o.port);
    return App().link_fault == 0;
  }
  if (name == "init-memory") {
    bool asked_yes = false;
    const size_t boxes_before = w.Messages().size();
    OnFunctionKey(0x76);  // F7
    const auto boxes = w.Messages();
    asked_yes = boxes.size() > boxes_before && w.Status() != "操作已退出";
    return asked_yes && App().link_fault == 0;
  }
  if (name == "view") return ShowPage(w, inv.arg, o);
  return Press(w, c.button);
}

}  // namespace

int RunCli(int argc, const char* const* argv, const CliPlatform& platform) {
  Options o;
  if (auto status = Parse(argc, argv, &o)) return *status;

  AppState& app = App();
  ResetAppState();
  SystemClock clock;
  app.clock = &clock;
  app.priority = platform.priority;

  // The serial port: the platform's, or the built-in virtual programmer.
  std::unique_ptr<VirtualProgrammer> device;
  std::unique_ptr<SimPort> sim_port;
  SerialPort* port = platform.port;
  int com = 0;
  if (o.simulate) {
    device = std::make_unique<VirtualProgrammer>();
    sim_port = std::make_unique<SimPort>(device.get(), &clock);
    port = sim_port.get();
    com = 1;
  } else if (!o.port.empty()) {
    const std::string name = platform.map_port ? platform.map_port(o.port) : "";
    if (name.size() != 4 || name.rfind("COM", 0) != 0 || name[3] < '1' || name[3] > '4')
      return UsageError("cannot use the port " + o.port);
    com = name[3] - '0';
  }

  std::ofstream trace_file;
  std::unique_ptr<WireTrace> trace;
  std::unique_ptr<TracedPort> traced;
  if (!o.trace.empty()) {
    trace_file.open(o.trace, std::ios::out | std::ios::trunc);
    if (!trace_file) return UsageError("cannot write the trace file " + o.trace);
    trace = std::make_unique<WireTrace>(&clock, [&trace_file](const std::string& line) {
      trace_file << line << "\n" << std::flush;
    });
    if (port) {
      traced = std::make_unique<TracedPort>(port, trace.get());
      port = traced.get();
    }
    app.trace = trace.get();
  }
  app.port = port;

  HeadlessWindow window;
  app.surface = &window;
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
    if (std::string(inv.entry->name) == "save-hex") save_paths.push_back(inv.arg);
  watch.save_file = [&save_paths](const std::string&) -> std::optional<std::string> {
    if (save_paths.empty()) return std::nullopt;
    std::string path = save_paths.front();
    save_paths.pop_front();
    return path;
  };
  window.SetObservers(watch);

  int status = kExitOk;
  if (com) {
    // As a saved port is connected at start-up: the radio button, then the
    // connection.
    SelectRadio(ctl::kCom1 + com - 1);
    ConnectPort(com);
    if (!app.programmer_found) status = kExitFailed;
  }
  if (status == kExitOk) {
    for (const Invocation& inv : o.commands) {
      const bool production = o.repeat && std::string(inv.entry->name) == "auto";
      if (production ? !RunProduction(window, o) : !RunCommand(window, inv, o)) {
        status = kExitFailed;
        break;
      }
    }
  }
  WaitForResetPoll();
  printer.Finish();
  window.SetObservers({});
  app.surface = nullptr;
  app.port = nullptr;
  app.trace = nullptr;
  app.clock = nullptr;
  if (port) port->Close();
  return status;
}

}  // namespace zvp
