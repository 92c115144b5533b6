// The window driver's tools: starting zvp.exe, finding its windows, reading
// them from outside, and real input (the mouse at screen coordinates, the
// keyboard) the way a technician gives it. Only what a separate process can
// see of another program's windows is used.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "windows/handles.h"
#include "windows/win32.h"

namespace zvp::driver {

// One line per check on standard output; the number of failures decides the
// exit status.
void Check(bool ok, const std::string& what);
int Failures();
int Passes();
void Note(const std::string& text);

// Polls `condition` every `poll_ms` milliseconds for up to `ms` milliseconds.
bool WaitFor(const std::function<bool()>& condition, int ms, int poll_ms = 25);
void Pause(int ms);

// The program under test.
class Program {
 public:
  // Starts `exe` with `arguments`; false when the process did not start.
  bool Start(const std::wstring& exe, const std::wstring& arguments);
  // Waits for the main window with all its controls and the start-up state
  // applied (the status line has its first text).
  bool WaitForMainWindow(int ms);
  // Waits for the process to end; its exit code, or -1 on time-out.
  int WaitForExit(int ms);
  void Kill();

  DWORD pid() const { return pid_; }
  HWND main() const { return main_; }
  // A control by id (nullptr when there is none).
  HWND Control(int id) const;
  // Every window below the main window, in the order EnumChildWindows gives.
  std::vector<HWND> Descendants() const;
  // A top-level dialog window of the program with this caption, other than
  // the main window; nullptr when none is shown.
  HWND FindDialog(const std::wstring& caption) const;
  HWND WaitForDialog(const std::wstring& caption, int ms) const;
  // Any top-level dialog of the program besides the main window.
  HWND AnyOtherDialog() const;

 private:
  void MapControls();

  win::UniqueHandle process_;
  win::UniqueHandle thread_;
  DWORD pid_ = 0;
  HWND main_ = nullptr;
  std::map<int, HWND> controls_;
};

// Reading another program's windows.
std::wstring Text(HWND hwnd);
std::string TextU8(HWND hwnd);
std::wstring ClassOf(HWND hwnd);
LONG_PTR StyleOf(HWND hwnd);
LONG_PTR ExStyleOf(HWND hwnd);
RECT ScreenRect(HWND hwnd);
// The window's rectangle in its parent's client coordinates.
RECT RectInParent(HWND hwnd);
bool Checked(HWND hwnd);
// WS_VISIBLE on the window and every ancestor up to `top`.
bool ShownBelow(HWND hwnd, HWND top);
// The bounding box of the window's region; an empty rectangle when it has
// none.
RECT RegionBox(HWND hwnd);
// The longest static text of a dialog (a message box's message).
std::wstring DialogMessage(HWND dialog);
// The lines of a list box in another process.
std::vector<std::wstring> ListBoxLines(HWND list);
// A cell of a list view in another process.
std::wstring ListCellText(HWND list, DWORD pid, int row, int column);

// Real input.
POINT Centre(HWND hwnd);
void MoveMouse(POINT screen);
void MouseDown();
void MouseUp();
void ClickAt(POINT screen);
void Click(HWND hwnd);
void DoubleClickAt(POINT screen);
void PressKey(WORD virtual_key);
void KeyDown(WORD virtual_key);
void KeyUp(WORD virtual_key);
// `modifier` held while `key` is pressed, in one go (Alt+F4).
void Chord(WORD modifier, WORD key);
// Types characters as they are, whatever the keyboard layout.
void TypeText(const std::wstring& text);

// Requests to the runner script: a line "ASK <request>" on standard output,
// answered by a file <request's first word>.done in the signal directory.
// False when no runner answered (the driver runs on its own). The answer
// file's contents, with its line ends removed, go to `reply` if one is given.
void SetSignalDirectory(const std::wstring& dir);
bool AskRunner(const std::string& request, std::string* reply = nullptr);
// The signal directory (a Windows path), where the runner also leaves files
// the driver asked for; empty without a runner.
const std::wstring& SignalDirectory();
// A screenshot of `window`, taken by the runner.
void Shot(const std::string& name, HWND window);

// Whether some pixel of the screen inside `rect` has a colour for which
// `match` holds (the window must be in front and drawn).
bool ScreenHasColour(const RECT& rect, const std::function<bool(COLORREF)>& match);

// The program's registry key.
struct RegValue {
  DWORD type = REG_NONE;
  std::vector<uint8_t> bytes;
  bool present = false;
};
// From the program's key, or from a window's own key below it (`subkey`
// "COM5" for a window started with --port COM5).
RegValue ReadSetting(const std::wstring& name, const std::wstring& subkey = L"");
// A stored text without its terminating zero; "<missing>", or "<not a text>"
// for a value that is not REG_SZ with its zero.
std::wstring SettingText(const std::wstring& name, const std::wstring& subkey = L"");
// How many values and subkeys the program's key holds; false without the key.
bool SettingsKeySize(DWORD* values, DWORD* subkeys);
void DeleteSettings();
void WriteSetting(const std::wstring& name, DWORD type, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> WideBytes(const std::wstring& text);  // with the terminating zero
std::vector<uint8_t> DwordBytes(uint32_t value);

}  // namespace zvp::driver
