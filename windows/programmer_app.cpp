#include "windows/programmer_app.h"

#include <chrono>
#include <future>

#include "core/app_state.h"
#include "link/connection.h"
#include "engine/engine.h"
#include "sim/sim_port.h"
#include "sim/virtual_programmer.h"
#include "windows/app_texts.h"
#include "windows/append_file_win32.h"
#include "windows/log_folder.h"
#include "windows/main_dialog.h"
#include "windows/wide_text.h"

namespace zvp::win {

namespace {

// How long an operation still running when the window closes may take to
// end before the process ends without it.
constexpr auto kShutdownGrace = std::chrono::seconds(3);

}  // namespace

ProgrammerApp::ProgrammerApp(HINSTANCE instance, const StartOptions& options)
    : instance_(instance),
      simulate_(options.simulate),
      start_port_(options.port),
      settings_(Widen(SettingsKeyFor(options.port))),
      surface_(instance),
      log_(ProductionLogFolder(options.simulate), std::make_unique<Win32AppendFile>()) {
  if (simulate_) {
    device_ = std::make_unique<VirtualProgrammer>();
    sim_port_ = std::make_unique<SimPort>(device_.get(), &clock_);
  }
}

ProgrammerApp::~ProgrammerApp() = default;

int ProgrammerApp::Run() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_LISTVIEW_CLASSES;
  InitCommonControlsEx(&controls);

  AppState& app = App();
  app.port = simulate_ ? static_cast<SerialPort*>(sim_port_.get()) : &serial_;
  app.clock = &clock_;
  InstallWindow(&surface_);
  app.settings = &settings_;
  app.priority = &priority_;
  app.recorder = &log_;
  app.start_port = static_cast<uint32_t>(start_port_);

  std::wstring caption = Widen(kWindowCaption);
  if (start_port_ != 0) caption += Widen(StartPortCaptionSuffix(start_port_));
  if (simulate_) caption += Widen(kSimulatedCaptionSuffix);
  {
    MainDialog dialog(instance_, &surface_, std::move(caption));
    dialog.RunModal();
  }
  Shutdown();
  return 0;
}

void ProgrammerApp::Shutdown() {
  // The window is gone, so a worker's window calls return at once and
  // waiting for it cannot deadlock; but an operation may still have long
  // serial work ahead of it.
  StopResetPoll();
  auto finished = std::async(std::launch::async, [] {
    WaitForWorkers();
    WaitForResetPoll();
  });
  if (finished.wait_for(kShutdownGrace) != std::future_status::ready) {
    // The settings are saved; the port closes with the process.
    TerminateProcess(GetCurrentProcess(), 0);
  }
  AppState& app = App();
  app.port = nullptr;
  app.clock = nullptr;
  InstallWindow(nullptr);
  app.settings = nullptr;
  app.priority = nullptr;
  app.recorder = nullptr;
}

}  // namespace zvp::win
