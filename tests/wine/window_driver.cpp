#include "tests/wine/window_driver.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "windows/wide_text.h"

namespace zvp::driver {

namespace {

int g_failures = 0;
int g_passes = 0;
std::wstring g_signal_dir;

constexpr wchar_t kSettingsKey[] = L"Software\\zelvatool";
constexpr UINT kTextTimeoutMs = 2000;

struct FindData {
  DWORD pid;
  HWND exclude;
  const std::wstring* caption;  // nullptr: any
  HWND found;
};

BOOL CALLBACK FindTopDialog(HWND hwnd, LPARAM lp) {
  auto* data = reinterpret_cast<FindData*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != data->pid || hwnd == data->exclude || !IsWindowVisible(hwnd)) return TRUE;
  if (ClassOf(hwnd) != L"#32770") return TRUE;
  if (data->caption != nullptr && Text(hwnd) != *data->caption) return TRUE;
  data->found = hwnd;
  return FALSE;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
  return TRUE;
}

void SendInputs(std::vector<INPUT> inputs) {
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

INPUT MouseInput(DWORD flags) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags;
  return in;
}

INPUT KeyInput(WORD vk, WORD scan, DWORD flags) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = scan;
  in.ki.dwFlags = flags;
  return in;
}

}  // namespace

void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "PASS" : "FAIL", what.c_str());
  std::fflush(stdout);
  ok ? ++g_passes : ++g_failures;
}

int Failures() {
  return g_failures;
}
int Passes() {
  return g_passes;
}

void Note(const std::string& text) {
  std::printf("# %s\n", text.c_str());
  std::fflush(stdout);
}

bool WaitFor(const std::function<bool()>& condition, int ms, int poll_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (true) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(poll_ms));
  }
}

void Pause(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// --- the program ----------------------------------------------------------

bool Program::Start(const std::wstring& exe, const std::wstring& arguments) {
  std::wstring command = L"\"" + exe + L"\"";
  if (!arguments.empty()) command += L" " + arguments;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &si, &pi)) {
    return false;
  }
  process_.reset(pi.hProcess);
  thread_.reset(pi.hThread);
  pid_ = pi.dwProcessId;
  main_ = nullptr;
  controls_.clear();
  return true;
}

bool Program::WaitForMainWindow(int ms) {
  const bool shown = WaitFor(
      [&] {
        // The main window is the program's dialog with the most children.
        FindData data{pid_, nullptr, nullptr, nullptr};
        EnumWindows(FindTopDialog, reinterpret_cast<LPARAM>(&data));
        if (data.found == nullptr) return false;
        main_ = data.found;
        MapControls();
        HWND status = Control(157);
        return status != nullptr && !Text(status).empty();
      },
      ms);
  return shown;
}

void Program::MapControls() {
  controls_.clear();
  for (HWND hwnd : Descendants()) {
    const int id = GetDlgCtrlID(hwnd);
    if (id != 0 && controls_.find(id) == controls_.end()) controls_[id] = hwnd;
  }
}

std::vector<HWND> Program::Descendants() const {
  std::vector<HWND> all;
  if (main_ != nullptr) EnumChildWindows(main_, CollectChild, reinterpret_cast<LPARAM>(&all));
  return all;
}

HWND Program::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

int Program::WaitForExit(int ms) {
  if (!process_) return -1;
  if (WaitForSingleObject(process_.get(), static_cast<DWORD>(ms)) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
  return static_cast<int>(code);
}

void Program::Kill() {
  if (process_) TerminateProcess(process_.get(), 99);
}

HWND Program::FindDialog(const std::wstring& caption) const {
  FindData data{pid_, main_, &caption, nullptr};
  EnumWindows(FindTopDialog, reinterpret_cast<LPARAM>(&data));
  return data.found;
}

HWND Program::WaitForDialog(const std::wstring& caption, int ms) const {
  HWND found = nullptr;
  WaitFor([&] { return (found = FindDialog(caption)) != nullptr; }, ms);
  return found;
}

HWND Program::AnyOtherDialog() const {
  FindData data{pid_, main_, nullptr, nullptr};
  EnumWindows(FindTopDialog, reinterpret_cast<LPARAM>(&data));
  return data.found;
}

// --- reading windows ------------------------------------------------------

std::wstring Text(HWND hwnd) {
  if (hwnd == nullptr) return std::wstring();
  // WM_GETTEXT is carried across processes; GetWindowText would read only
  // the window's title record, which an edit box does not keep.
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs,
                           &length)) {
    return std::wstring();
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, kTextTimeoutMs, &got);
  text.resize(got);
  return text;
}

std::string TextU8(HWND hwnd) {
  return win::Narrow(Text(hwnd));
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, static_cast<int>(std::size(name)));
  return name;
}

LONG_PTR StyleOf(HWND hwnd) {
  return GetWindowLongPtrW(hwnd, GWL_STYLE);
}
LONG_PTR ExStyleOf(HWND hwnd) {
  return GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
}

RECT ScreenRect(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return r;
}

RECT RectInParent(HWND hwnd) {
  RECT r = ScreenRect(hwnd);
  MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool Checked(HWND hwnd) {
  return SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool ShownBelow(HWND hwnd, HWND top) {
  for (HWND at = hwnd; at != nullptr && at != top; at = GetParent(at)) {
    if (!(StyleOf(at) & WS_VISIBLE)) return false;
  }
  return hwnd != nullptr;
}

RECT RegionBox(HWND hwnd) {
  RECT box{};
  win::UniqueRegion region(CreateRectRgn(0, 0, 0, 0));
  if (GetWindowRgn(hwnd, region.get()) == ERROR) return box;
  GetRgnBox(region.get(), &box);
  return box;
}

std::wstring DialogMessage(HWND dialog) {
  std::vector<HWND> children;
  EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&children));
  std::wstring longest;
  for (HWND child : children) {
    if (_wcsicmp(ClassOf(child).c_str(), L"Static") != 0) continue;
    std::wstring text = Text(child);
    if (text.size() > longest.size()) longest = text;
  }
  return longest;
}

// A list box's strings are carried across processes, as window texts are.
std::vector<std::wstring> ListBoxLines(HWND list) {
  std::vector<std::wstring> lines;
  DWORD_PTR count = 0;
  if (!SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &count))
    return lines;
  for (WPARAM row = 0; row < count && count != static_cast<DWORD_PTR>(LB_ERR); ++row) {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(list, LB_GETTEXTLEN, row, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &length);
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(list, LB_GETTEXT, row, reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, kTextTimeoutMs, &got);
    text.resize(got == static_cast<DWORD_PTR>(LB_ERR) ? 0 : got);
    lines.push_back(text);
  }
  return lines;
}

std::wstring ListCellText(HWND list, DWORD pid, int row, int column) {
  // The list's item record and text buffer have to live in its own process.
  win::UniqueHandle process(
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
  if (!process) return L"?";
  constexpr size_t kChars = 64;
  const size_t size = sizeof(LVITEMW) + kChars * sizeof(wchar_t);
  auto* remote = static_cast<uint8_t*>(
      VirtualAllocEx(process.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (remote == nullptr) return L"?";
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
  item.cchTextMax = static_cast<int>(kChars);
  std::wstring text;
  if (WriteProcessMemory(process.get(), remote, &item, sizeof item, nullptr)) {
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote));
    wchar_t buffer[kChars] = {};
    if (ReadProcessMemory(process.get(), remote + sizeof(LVITEMW), buffer, sizeof buffer,
                          nullptr)) {
      buffer[kChars - 1] = L'\0';
      text = buffer;
    }
  }
  VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
  return text;
}

// --- input ----------------------------------------------------------------

POINT Centre(HWND hwnd) {
  const RECT r = ScreenRect(hwnd);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void MoveMouse(POINT screen) {
  SetCursorPos(screen.x, screen.y);
  // A hardware move at the new place, so the window under it (or the one
  // holding the capture) hears of it.
  SendInputs({MouseInput(MOUSEEVENTF_MOVE)});
  Pause(30);
}

void MouseDown() {
  SendInputs({MouseInput(MOUSEEVENTF_LEFTDOWN)});
  Pause(40);
}

void MouseUp() {
  SendInputs({MouseInput(MOUSEEVENTF_LEFTUP)});
  Pause(40);
}

void ClickAt(POINT screen) {
  MoveMouse(screen);
  MouseDown();
  MouseUp();
}

void Click(HWND hwnd) {
  ClickAt(Centre(hwnd));
}

void DoubleClickAt(POINT screen) {
  MoveMouse(screen);
  SendInputs({MouseInput(MOUSEEVENTF_LEFTDOWN), MouseInput(MOUSEEVENTF_LEFTUP)});
  Pause(60);
  SendInputs({MouseInput(MOUSEEVENTF_LEFTDOWN), MouseInput(MOUSEEVENTF_LEFTUP)});
  Pause(60);
}

void KeyDown(WORD virtual_key) {
  SendInputs({KeyInput(virtual_key, static_cast<WORD>(MapVirtualKeyW(virtual_key, 0)), 0)});
  Pause(30);
}

void KeyUp(WORD virtual_key) {
  SendInputs(
      {KeyInput(virtual_key, static_cast<WORD>(MapVirtualKeyW(virtual_key, 0)), KEYEVENTF_KEYUP)});
  Pause(30);
}

void Chord(WORD modifier, WORD key) {
  const WORD mod_scan = static_cast<WORD>(MapVirtualKeyW(modifier, 0));
  const WORD key_scan = static_cast<WORD>(MapVirtualKeyW(key, 0));
  SendInputs({KeyInput(modifier, mod_scan, 0), KeyInput(key, key_scan, 0),
              KeyInput(key, key_scan, KEYEVENTF_KEYUP),
              KeyInput(modifier, mod_scan, KEYEVENTF_KEYUP)});
  Pause(30);
}

void PressKey(WORD virtual_key) {
  KeyDown(virtual_key);
  KeyUp(virtual_key);
}

void TypeText(const std::wstring& text) {
  for (wchar_t c : text) {
    SendInputs(
        {KeyInput(0, c, KEYEVENTF_UNICODE), KeyInput(0, c, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP)});
    Pause(30);
  }
}

// --- the runner ------------------------------------------------------------

void SetSignalDirectory(const std::wstring& dir) {
  g_signal_dir = dir;
}

const std::wstring& SignalDirectory() {
  return g_signal_dir;
}

bool AskRunner(const std::string& request, std::string* reply) {
  if (g_signal_dir.empty()) return false;
  const std::string tag = request.substr(0, request.find(' '));
  std::printf("ASK %s\n", request.c_str());
  std::fflush(stdout);
  const std::wstring done = g_signal_dir + L"\\" + win::Widen(tag) + L".done";
  const bool answered =
      WaitFor([&] { return GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 20000);
  if (!answered) return false;
  if (reply != nullptr) {
    reply->clear();
    // The runner writes the answer before it creates the file's name, so
    // the contents are complete once the file is there.
    if (FILE* f = _wfopen(done.c_str(), L"rb")) {
      char chunk[512];
      size_t n;
      while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) reply->append(chunk, n);
      fclose(f);
    }
    while (!reply->empty() && (reply->back() == '\n' || reply->back() == '\r')) reply->pop_back();
  }
  DeleteFileW(done.c_str());
  return true;
}

void Shot(const std::string& name, HWND window) {
  Pause(300);  // let the window finish drawing
  const RECT r = ScreenRect(window);
  char geometry[64];
  std::snprintf(geometry, sizeof geometry, "%ldx%ld+%ld+%ld", r.right - r.left, r.bottom - r.top,
                r.left, r.top);
  if (!AskRunner("shot " + name + " " + geometry) && !g_signal_dir.empty()) {
    Note("no screenshot " + name + " (no runner answered)");
  }
}

bool ScreenHasColour(const RECT& rect, const std::function<bool(COLORREF)>& match) {
  HDC screen = GetDC(nullptr);
  bool found = false;
  for (LONG y = rect.top; y < rect.bottom && !found; ++y) {
    for (LONG x = rect.left; x < rect.right && !found; ++x) {
      const COLORREF c = GetPixel(screen, x, y);
      found = c != CLR_INVALID && match(c);
    }
  }
  ReleaseDC(nullptr, screen);
  return found;
}

// --- registry -------------------------------------------------------------

RegValue ReadSetting(const std::wstring& name, const std::wstring& subkey) {
  RegValue value;
  HKEY raw = nullptr;
  std::wstring path = kSettingsKey;
  if (!subkey.empty()) path += L"\\" + subkey;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) {
    return value;
  }
  win::UniqueKey key(raw);
  DWORD size = 0;
  if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &value.type, nullptr, &size) !=
      ERROR_SUCCESS) {
    return value;
  }
  value.bytes.resize(size);
  if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &value.type, value.bytes.data(), &size) ==
      ERROR_SUCCESS) {
    value.bytes.resize(size);
    value.present = true;
  }
  return value;
}

std::wstring SettingText(const std::wstring& name, const std::wstring& subkey) {
  const RegValue v = ReadSetting(name, subkey);
  if (!v.present) return L"<missing>";
  if (v.type != REG_SZ || v.bytes.size() < 2 || v.bytes.size() % 2 != 0) return L"<not a text>";
  std::wstring text(reinterpret_cast<const wchar_t*>(v.bytes.data()), v.bytes.size() / 2);
  if (text.back() != L'\0') return L"<not a text>";
  text.pop_back();
  return text;
}

bool SettingsKeySize(DWORD* values, DWORD* subkeys) {
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &raw) != ERROR_SUCCESS) return false;
  win::UniqueKey key(raw);
  return RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, subkeys, nullptr, nullptr, values,
                          nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void DeleteSettings() {
  RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
}

void WriteSetting(const std::wstring& name, DWORD type, const std::vector<uint8_t>& bytes) {
  HKEY raw = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &raw,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  win::UniqueKey key(raw);
  RegSetValueExW(key.get(), name.c_str(), 0, type, bytes.data(), static_cast<DWORD>(bytes.size()));
}

std::vector<uint8_t> WideBytes(const std::wstring& text) {
  const auto* begin = reinterpret_cast<const uint8_t*>(text.c_str());
  return std::vector<uint8_t>(begin, begin + (text.size() + 1) * sizeof(wchar_t));
}

std::vector<uint8_t> DwordBytes(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

}  // namespace zvp::driver
