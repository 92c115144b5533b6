// zvp.exe: the programmer's window program. --simulate puts the built-in
// virtual programmer behind COM1..COM4, for trying the window without
// hardware; --port COMn makes the window that of the programmer on COMn,
// with its own settings (one shortcut per programmer on a bench).
#include <string>
#include <vector>

#include "ui/port_choice.h"
#include "windows/app_texts.h"
#include "windows/handles.h"
#include "windows/programmer_app.h"
#include "windows/wide_text.h"
#include "windows/win32.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*command_line*/,
                    int /*show*/) {
  int argc = 0;
  zvp::win::Unique<LPWSTR*, zvp::win::ReleaseLocal> argv(
      CommandLineToArgvW(GetCommandLineW(), &argc));
  std::vector<std::string> args;
  for (int i = 1; argv && i < argc; ++i) args.push_back(zvp::win::Narrow(argv.get()[i]));
  const zvp::StartOptions options = zvp::ParseStartOptions(args);
  if (!options.error.empty()) {
    MessageBoxW(nullptr, zvp::win::Widen(options.error).c_str(),
                zvp::win::Widen(zvp::win::kStartOptionCaption).c_str(), MB_OK | MB_ICONWARNING);
    return 2;
  }
  zvp::win::ProgrammerApp app(instance, options);
  return app.Run();
}
