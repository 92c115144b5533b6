#include "cli/cli.h"

#include <atomic>
#include <csignal>
#include <deque>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "cli/options.h"
#include "cli/production.h"
#include "cli/session.h"
#include "cli/stop_signals.h"
#include "cli/terminal.h"
#include "image/number_text.h"
#include "core/app_state.h"
#include "core/clock.h"
#include "core/production_recorder.h"
#include "link/address_range.h"
#include "link/connection.h"
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

namespace zvp {

namespace cli {
namespace {

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

// The code view's page at `address` as the window shows it: "显示内存数据",
// then the address and "设 置", printed as its 16 rows; "返 回" afterwards
// gives the following commands their buttons back.
bool ShowPage(Session& s, const std::string& address) {
  HeadlessWindow& w = s.window;
  if (Press(w, ctl::kShowMemory) != Outcome::kDone) return false;
  // The first show selects the memory view in hexadecimal and page 0; the
  // modes are chosen afterwards, without a refresh of their own.
  SelectRadio(s.options.chip_view ? ctl::kViewChip : ctl::kViewMemory);
  w.SetChecked(ctl::kViewAscii, s.options.ascii);
  w.SetText(ctl::kViewAddress, address);
  const bool shown = Press(w, ctl::kViewSet) == Outcome::kDone;
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
  return Press(s.window, ctl::kBufferChecksum) == Outcome::kDone;
}

bool RunCommand(Session& s, const Invocation& inv) {
  const std::string& name = inv.name;
  if (name == "connect") return App().programmer_found == 1;
  if (name == "state") {
    PrintState(s.window, s.port_name);
    return true;
  }
  if (name == "init-memory") return OnFunctionKey(0x76) == Outcome::kDone;  // F7
  if (name == "view") return ShowPage(s, inv.arg);
  if (name == "auto") {
    if (s.options.repeat) return RunProduction(s);
    AutoRunRecord run;
    return RunAuto(s, &run) == Outcome::kDone && !s.log_failed;
  }
  if (name == "download")
    return Press(s.window, ctl::kDownload) == Outcome::kDone && TypeRangeAfterLoad(s);
  return Press(s.window, OperationButton(FindOperationByWord(name)->code)) == Outcome::kDone;
}

}  // namespace
}  // namespace cli

int RunCli(int argc, const char* const* argv, const CliPlatform& platform) {
  using namespace cli;
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
  watch.progress_shown = [&](const Progress& progress, const std::string& text) {
    printer.Status(text, &progress);
  };
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

  // The runs' records come as the engine ends each run.
  RunRecord runs;
  app.recorder = &runs;
  Session session{window, printer, runs, o, port_name, o.log.empty() ? nullptr : &log};
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
  app.recorder = nullptr;
  if (port) port->Close();
  return status;
}

}  // namespace zvp
