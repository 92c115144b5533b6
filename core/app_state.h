// The one process-wide state record. Every routine of the core reads and
// writes it; nothing is locked. Flags and numbers that more than one thread
// touches (the UI thread, the operation worker, the reset poll) are atomic so
// that each read sees a whole value.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "core/operator_choices.h"
#include "core/protocol.h"
#include "core/serial_port.h"
#include "image/code_buffer.h"

namespace zvp {

class Clock;
class SettingsStore;
class ThreadPriority;
class TraceSink;
class ProductionRecorder;
class StatusDisplay;
class UserDialogs;
class WindowControls;
class CodeViewList;
class WindowFrame;
class OperationBoxes;

// Fields are grouped by the layer that writes them; readers may be anywhere
// above. Flags are booleans, addresses, counts and bit sets numbers.
struct AppState {
  // Seams to the world, installed by the front end (window, command line,
  // tests) before anything runs. The window's seams are installed together
  // by InstallWindow (core/window_surface.h).
  SerialPort* port = nullptr;
  Clock* clock = nullptr;
  SettingsStore* settings = nullptr;
  ThreadPriority* priority = nullptr;
  TraceSink* trace = nullptr;  // optional record of every port call
  ProductionRecorder* recorder = nullptr;  // optional record of every auto-program run
  StatusDisplay* status = nullptr;
  UserDialogs* dialogs = nullptr;
  WindowControls* controls = nullptr;
  CodeViewList* view_list = nullptr;
  WindowFrame* frame = nullptr;
  OperationBoxes* boxes = nullptr;

  // link/: the serial link, the connection, the header and the range.
  LineSettings line_settings;
  std::atomic<bool> link_fault{false};  // the last transfer failed (the status draws red)
  std::atomic<bool> port_chosen{false};
  std::atomic<bool> programmer_found{false};
  OperationHeader header;
  // The operator's choices of the operation (or connection) now running,
  // stored by whoever starts it (the engine's StartOperation and
  // RunOperationNow) on the UI thread while no worker runs; the worker only
  // reads them.
  OperatorChoices choices;
  std::atomic<uint32_t> option_flags{0};  // opt:: bits, gathered with the header
  std::atomic<uint32_t> range_start{0};   // the working range, inclusive
  std::atomic<uint32_t> range_end{0};
  // The programmer's reset message amid the traffic (link/reset_scan): how
  // many bytes of "STARRESET" the bytes read last spell so far, and whether
  // the whole message came and the reaction to it is still due.
  std::atomic<uint32_t> reset_matched{0};
  std::atomic<bool> reset_heard{false};
  // Header exchanges that reached the programmer so far: it answered, or
  // sent its reset message in place of the answer (a programmer that
  // restarts as the header comes may still act on it). Whether a step of
  // the auto-program sequence reached the programmer.
  std::atomic<uint32_t> headers_reached{0};

  // progmem/: what the programmer memory holds.
  std::atomic<bool> memory_loaded{false};  // known to hold the code
  std::atomic<bool> memory_edited{false};
  std::atomic<uint32_t> checksum_start{0};  // the range of the last memory checksum
  std::atomic<uint32_t> checksum_end{0};

  // engine/: the running operation, the auto-program sequence, the view.
  std::atomic<bool> busy{false};
  std::atomic<bool> auto_running{false};
  std::atomic<bool> user_abort{false};
  // A stop asked of the running auto-program sequence by a front end that
  // has no status line to double-click (the command line's second Ctrl-C):
  // the sequence runs no further step and the direct stream sends no
  // further block, and the run ends failed. The window never asks it, so
  // there a sequence still runs to its end.
  std::atomic<bool> stop_requested{false};
  // Whether the running sequence's failure counts as a failed chip: not
  // when the programmer could not be reached.
  std::atomic<bool> count_failure{false};
  std::atomic<uint32_t> pass_count{0};
  std::atomic<uint32_t> fail_count{0};
  std::atomic<uint32_t> view_address{0};

  // ui/: the window's own state.
  std::atomic<bool> label_pressed{false};
  std::atomic<bool> view_ready{false};
  std::atomic<uint32_t> function_flags{0};  // fn:: bits
  std::atomic<uint32_t> count_flags{0};     // the counter dialog's six choices
  // n when the window uses COMn beyond the four port buttons (the production
  // log's record reads it on the worker), 0 otherwise.
  std::atomic<uint32_t> other_port{0};
  // n when the window was started for COMn (zvp.exe --port COMn): it keeps
  // that port's own settings and connects it at start; 0 otherwise.
  std::atomic<uint32_t> start_port{0};

  std::array<uint8_t, kCodeBufferSize> code_buffer{};
};

// The process-wide record.
AppState& App();

// Returns every field except the seams to its start value (all zero, buffer
// all 0xFF). Used at window initialisation and by tests.
void ResetAppState();

// The window's seams, for the code that talks to them.
inline StatusDisplay& StatusLine() { return *App().status; }
inline UserDialogs& Dialogs() { return *App().dialogs; }
inline WindowControls& Controls() { return *App().controls; }
inline CodeViewList& ViewList() { return *App().view_list; }
inline WindowFrame& Frame() { return *App().frame; }
inline OperationBoxes& Boxes() { return *App().boxes; }

// Bits of option_flags, one per box of the "编程系统" group.
namespace opt {
constexpr uint32_t kReadProtect = 0x01;
constexpr uint32_t kLdcProtect = 0x02;
constexpr uint32_t kBlankCheck = 0x04;
constexpr uint32_t kHwWriteProtect = 0x08;
constexpr uint32_t kSmart = 0x10;
constexpr uint32_t kVerify = 0x20;
constexpr uint32_t kErase = 0x40;
}  // namespace opt

// Bits of function_flags.
namespace fn {
constexpr uint32_t kShowCounters = 0x01;
constexpr uint32_t kCountingPaused = 0x02;
constexpr uint32_t kForceProtection = 0x08;
constexpr uint32_t kBuzzer = 0x20;
}  // namespace fn

}  // namespace zvp
