// zvp-cli.exe: the command line on Windows, beside the window program. --port
// takes any COMn: USB serial adapters usually get COM5 and above. Arguments arrive as UTF-16 and are handed on as UTF-8;
// the console is switched to UTF-8 so the Chinese status texts read right.
#include <windows.h>

#include <string>
#include <vector>

#include "cli/cli.h"
#include "windows/append_file_win32.h"
#include "windows/serial_win32.h"
#include "windows/thread_priority_win32.h"

namespace {

std::string Utf8(const wchar_t* w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  std::string s(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
  return s;
}

bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(Utf8(argv[i]));
  std::vector<const char*> cargs;
  for (const std::string& a : args) cargs.push_back(a.c_str());

  zvp::Win32SerialPort port;
  zvp::Win32ThreadPriority priority;
  zvp::Win32AppendFile log_file;
  zvp::CliPlatform platform;
  platform.port = &port;
  platform.priority = &priority;
  platform.log_file = &log_file;
  platform.map_port = [](const std::string& arg) -> std::string {
    std::string name;
    for (char c : arg) name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    // "COM" and a number from 1 on, without leading zeros.
    if (name.size() < 4 || name.size() > 6 || name.rfind("COM", 0) != 0 || name[3] == '0') return "";
    for (size_t i = 3; i < name.size(); ++i) {
      if (name[i] < '0' || name[i] > '9') return "";
    }
    return name;
  };
  platform.open_error = [&port] { return port.OpenError(); };
  platform.stdout_is_terminal = IsConsole(STD_OUTPUT_HANDLE);
  platform.stdin_is_terminal = IsConsole(STD_INPUT_HANDLE);
  return zvp::RunCli(static_cast<int>(cargs.size()), cargs.data(), platform);
}
