// libFuzzer target for what comes back on the wire: each input picks one
// programmer operation (every code the engine runs, the port connection and
// the reset poll) and the window's choices, and scripts every reply of the
// device behind the port (layout: fuzz/reply_input.h, script:
// fuzz/scripted_port.h). Time is virtual, so the link's time-outs cost
// nothing.
//
// Besides the sanitizers' findings the run aborts when an operation does not
// end (the port counts its calls and watches for reads and writes that would
// wait for ever) and when one leaves the window busy. The rule for the status
// line after a failure (fuzz/fault_status.h) is checked only on request.
// ZVP_REPLY_PRINT=1 prints how each operation ended (for replaying inputs).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fault_status.h"
#include "fuzz/reply_input.h"
#include "fuzz/reply_world.h"
#include "fuzz/scripted_port.h"
#include "core/app_state.h"

namespace {

using zvp::fuzz::OperationEnd;

void Require(bool ok, const OperationEnd& end, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "reply_fuzz: after '%s' (status \"%s\"): %s\n", end.operation.c_str(),
               end.status.c_str(), what);
  std::abort();
}

// The longest operations seen, printed when the run ends: how far the bounds
// are from what the operations need.
struct Longest {
  uint64_t calls = 0;
  std::string calls_operation;
  int64_t virtual_us = 0;
  std::string time_operation;

  void Note(const OperationEnd& end, uint64_t port_calls) {
    if (port_calls > calls) {
      calls = port_calls;
      calls_operation = end.operation;
    }
    if (end.virtual_us > virtual_us) {
      virtual_us = end.virtual_us;
      time_operation = end.operation;
    }
  }
};

Longest g_longest;

void PrintLongest() {
  std::fprintf(stderr,
               "reply_fuzz: most port calls in one operation: %llu ('%s'); "
               "longest on the virtual clock: %.1f s ('%s')\n",
               static_cast<unsigned long long>(g_longest.calls), g_longest.calls_operation.c_str(),
               static_cast<double>(g_longest.virtual_us) / 1e6, g_longest.time_operation.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static zvp::fuzz::ReplyWorld world;
  static zvp::fuzz::ScriptedPort port(&world.clock());
  static const bool registered = (std::atexit(PrintLongest), true);
  (void)registered;

  const zvp::fuzz::ReplyInput in = zvp::fuzz::ParseReplyInput(data, size);
  const zvp::fuzz::ReplyChoices& c = in.choices;
  port.Load(in.script, in.script_size, c.event, c.event_call, !c.port_refuses);
  port.SetLabel(zvp::fuzz::ReplyWorld::OperationName(c));
  const OperationEnd end = world.Run(c, &port);
  g_longest.Note(end, port.calls());
  static const bool print = std::getenv("ZVP_REPLY_PRINT") != nullptr;
  if (print) {
    std::fprintf(stderr, "reply_fuzz: '%s' ended%s after %llu port calls, %.3f s: %s\n",
                 end.operation.c_str(), end.link_fault ? " with link_fault" : "",
                 static_cast<unsigned long long>(port.calls()),
                 static_cast<double>(end.virtual_us) / 1e6, end.status.c_str());
  }

  // An operation that leaves these set leaves a window that refuses every
  // further click: for the user it never ended.
  const zvp::AppState& app = zvp::App();
  Require(app.busy == 0, end, "the window is still busy");
  Require(app.auto_running == 0, end, "the auto-program sequence still counts as running");
  Require(!world.window().ViewLocked(), end, "the code view's controls are still locked");

  zvp::fuzz::CheckFaultStatus(end, data, size);
  return 0;
}
