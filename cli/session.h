// What a command of the command line runs with, and its one way of acting:
// pressing a button of the window and waiting for the outcome.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "cli/options.h"
#include "cli/terminal.h"
#include "core/outcome.h"
#include "core/production_recorder.h"
#include "ui/headless_window.h"
#include "ui/production_log.h"

namespace zvp::cli {

// Presses `button` and waits for the operation it starts: how it ended, or
// nothing when nothing started (a guard said no, or the button is greyed).
std::optional<Outcome> Press(HeadlessWindow& w, int button);

// The record of the auto-program run that finished last, as the engine
// hands it over on the worker; read once the worker has been waited for.
class RunRecord final : public ProductionRecorder {
 public:
  void AutoRunFinished(const AutoRunRecord& run) override { run_ = run; }
  AutoRunRecord Take() { return std::exchange(run_, AutoRunRecord{}); }

 private:
  AutoRunRecord run_;
};

// Everything a command needs besides the window.
struct Session {
  HeadlessWindow& window;
  Printer& printer;
  RunRecord& runs;
  const Options& options;
  std::string port_name;  // as connected; empty without a port
  ProductionLog* log = nullptr;
  int chips = 0;            // auto runs done
  bool log_failed = false;  // a run's line could not be logged
};

}  // namespace zvp::cli
