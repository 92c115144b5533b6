// zvp-linkcheck: opens a port, exchanges the connect header with the
// programmer and prints the wire trace and the outcome. A first diagnosis of
// a link: does anything answer on this port at all?
//
//   zvp-linkcheck DEVICE      (a tty path such as /dev/ttyUSB0 or a pseudo-terminal)
#include <cstdio>
#include <mutex>
#include <string>

#include "core/app_state.h"
#include "core/clock.h"
#include "link/serial_link.h"
#include "link/wire_trace.h"
#include "posix/serial_posix.h"
#include "core/window_surface.h"

namespace {

// Just enough of a window for the link: status texts and message boxes go to
// the terminal.
class TerminalSurface final : public zvp::WindowSurface {
 public:
  std::string GetText(int, size_t) override { return ""; }
  void SetText(int, const std::string&) override {}
  bool IsChecked(int) override { return false; }
  void SetChecked(int, bool) override {}
  bool IsEnabled(int) override { return true; }
  void SetEnabled(int, bool) override {}
  bool IsVisible(int) override { return true; }
  void SetVisible(int, bool) override {}
  void SetStatus(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mu_);
    status_ = text;
    std::printf("status: %s\n", text.c_str());
  }
  std::string Status() override {
    std::lock_guard<std::mutex> lock(mu_);
    return status_;
  }
  void RepaintStatus() override {}
  zvp::MsgAnswer ShowMessage(const zvp::MessageBox& box) override {
    std::fprintf(stderr, "[%s] %s\n", box.caption.c_str(), box.text.c_str());
    return zvp::MsgAnswer::kOk;
  }
  std::optional<std::string> ChooseOpenFile(const std::string&) override { return {}; }
  std::optional<std::string> ChooseSaveFile(const std::string&) override { return {}; }
  void ArmTimer(int, uint32_t) override {}
  void Beep(uint32_t, uint32_t) override {}
  void UpdateCursor() override {}
  void LockViewControls(bool) override {}
  void SetWindowRegion(int, int) override {}
  void RequestClose() override {}
  void PrepareCodeViewList() override {}
  void SetListCell(int, int, const std::string&) override {}
  std::string ListCell(int, int) override { return {}; }
  bool RunCounterDialog(zvp::CounterDialog*) override { return false; }
  std::optional<std::string> RunEditDialog(const std::string&, const std::string&) override {
    return std::nullopt;
  }

 private:
  std::mutex mu_;
  std::string status_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zvp-linkcheck DEVICE\n");
    return 2;
  }
  zvp::SystemClock clock;
  zvp::PosixSerialPort serial;
  serial.MapName("COM1", argv[1]);
  zvp::WireTrace trace(&clock, [](const std::string& line) { std::printf("  %s\n", line.c_str()); });
  zvp::TracedPort port(&serial, &trace);
  TerminalSurface surface;

  zvp::ResetAppState();
  zvp::AppState& app = zvp::App();
  app.port = &port;
  app.clock = &clock;
  zvp::InstallWindow(&surface);
  app.trace = &trace;

  std::printf("connecting to %s as COM1\n", argv[1]);
  const bool ok = zvp::OpenPort("COM1");
  std::printf(ok ? "the programmer answered the connect header\n"
                 : "no answer from a programmer on this port\n");
  return ok ? 0 : 1;
}
