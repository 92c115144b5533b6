// zvp.exe: the programmer's window program. --simulate puts the built-in
// virtual programmer behind COM1..COM4, for trying the window without
// hardware.
#include <cwchar>

#include "windows/handles.h"
#include "windows/programmer_app.h"
#include "windows/win32.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*command_line*/,
                    int /*show*/) {
  int argc = 0;
  zvp::win::Unique<LPWSTR*, zvp::win::ReleaseLocal> argv(
      CommandLineToArgvW(GetCommandLineW(), &argc));
  bool simulate = false;
  for (int i = 1; argv && i < argc; ++i) {
    if (std::wcscmp(argv.get()[i], L"--simulate") == 0) simulate = true;
  }
  zvp::win::ProgrammerApp app(instance, simulate);
  return app.Run();
}
