// window_units_test: the window program's parts one by one, under Wine with a
// display (run by run_window.sh): the text conversions, the small control
// rules, the registry store on the real registry (also under LoadSettings
// and SaveSettings), the custom controls fed with window messages, and the
// window surface called from a worker thread. One line per check; exits 0
// when every check held.
//
// "window_units_test.exe log-writer FOLDER COMn LINES" is one of two windows
// on one PC writing the day's production log at once (run_window.sh starts
// two and checks the file).

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <thread>

#include "core/app_state.h"
#include "ui/control_ids.h"
#include "ui/control_table.h"
#include "ui/headless_window.h"
#include "ui/production_log.h"
#include "ui/settings.h"
#include "windows/append_file_win32.h"
#include "windows/custom_controls.h"
#include "windows/handles.h"
#include "windows/registry_store.h"
#include "windows/wide_text.h"
#include "windows/win32_surface.h"
#include "windows/window_messages.h"
#include "windows/window_rules.h"

namespace {

using namespace zvp;
using namespace zvp::win;

int g_failures = 0;
int g_passes = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "PASS" : "FAIL", what.c_str());
  std::fflush(stdout);
  ok ? ++g_passes : ++g_failures;
}

// --- texts ----------------------------------------------------------------

void TextTests() {
  const std::string chinese = "编程器连接错误,编程器可能正忙,请稍候再试!";
  Check(Narrow(Widen(chinese)) == chinese, "UTF-8 survives the trip through UTF-16");
  Check(Widen("调试模式") == L"调试模式", "widening gives the UTF-16 text");
  Check(Widen("").empty() && Narrow(L"").empty(), "empty stays empty");
  const std::wstring with_pair = L"A\U0001F600BC";  // a character outside the BMP
  Check(FirstChars(with_pair, 2) == "A\xF0\x9F\x98\x80",
        "a surrogate pair counts as one character");
  Check(FirstChars(L"0000", 15) == "0000" && FirstChars(L"12345", 3) == "123",
        "FirstChars keeps at most the count");
  const std::wstring filter = DialogFilter("HEX文件(*.hex)|*.hex|所有文件(*.*)|*.*||");
  constexpr wchar_t kWant[] = L"HEX文件(*.hex)\0*.hex\0所有文件(*.*)\0*.*\0\0";
  const std::wstring want(kWant, std::size(kWant) - 1);
  Check(filter == want, "the filter's bars become zeros, ending in two");
  const std::wstring open_end = DialogFilter("BIN|*.bin");
  Check(open_end.size() >= 2 && open_end[open_end.size() - 1] == 0 &&
            open_end[open_end.size() - 2] == 0,
        "a filter without its closing bars still ends in two zeros");
}

// --- rules ----------------------------------------------------------------

void RuleTests() {
  const RECT r{0, 0, 120, 25};
  Check(!StrictlyInside(r, POINT{0, 12}) && !StrictlyInside(r, POINT{60, 0}),
        "the left and top edge pixels are outside");
  Check(!StrictlyInside(r, POINT{120, 12}) && !StrictlyInside(r, POINT{60, 25}),
        "so are the right and bottom ones");
  Check(StrictlyInside(r, POINT{1, 1}) && StrictlyInside(r, POINT{119, 24}),
        "one pixel in is inside");
  Check(!StrictlyInside(r, POINT{-5, 12}), "a release left of the button is outside");

  const RECT format{2, 3, 583, 20};
  Check(InAbortZone(format, POINT{52, 10}), "50 pixels into the status text asks for a stop");
  Check(!InAbortZone(format, POINT{152, 10}), "150 pixels in does not");
  Check(!InAbortZone(format, POINT{142, 10}) && InAbortZone(format, POINT{141, 10}),
        "the zone ends before pixel 140");

  Check(!EditAccepts(ctl::kStartAddress, L'G') && !EditAccepts(ctl::kStartAddress, L' '),
        "an address box drops G and the space");
  Check(EditAccepts(ctl::kStartAddress, L'a') && EditAccepts(ctl::kStartAddress, L'F') &&
            EditAccepts(ctl::kStartAddress, L'7') && EditAccepts(ctl::kStartAddress, L'\b'),
        "it takes hex digits and backspace");
  Check(EditAccepts(ctl::kFileBox, L'G') && EditAccepts(ctl::kFileBox, L'\\') &&
            EditAccepts(ctl::kFileBox, L'文'),
        "the file box takes everything");
  Check(!EditAccepts(500, L'x') && EditAccepts(500, L'c'), "the edit dialog's box is hex only");

  Check(!IsFunctionKey(VK_F1) && IsFunctionKey(VK_F2) && IsFunctionKey(VK_F12) &&
            !IsFunctionKey(VK_F13) && !IsFunctionKey(VK_RETURN),
        "F2 to F12 are the function keys");
  Check(HasPushButtonType(WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON) &&
            HasPushButtonType(WS_CHILD | BS_DEFPUSHBUTTON),
        "push buttons lose the default look");
  Check(!HasPushButtonType(BS_AUTOCHECKBOX) && !HasPushButtonType(BS_AUTORADIOBUTTON) &&
            !HasPushButtonType(BS_GROUPBOX),
        "check boxes, radio buttons and group boxes do not");

  for (int id : {101, 102, 103, 105, 106, 109, 158, 170, 176, 200}) {
    Check(MainTextColour(id, false) == RGB(0, 100, 100),
          "group " + std::to_string(id) + " is teal");
  }
  Check(MainTextColour(107, false) == RGB(0, 100, 255) &&
            MainTextColour(108, true) == RGB(0, 100, 255),
        "the operation and file groups are light blue");
  Check(MainTextColour(ctl::kWebLink, false) == RGB(0, 0, 255) &&
            MainTextColour(ctl::kWebLink, true) == RGB(255, 0, 0),
        "the link is blue, red while pressed");
  Check(!MainTextColour(ctl::kViewList, false) && !MainTextColour(ctl::kQuit, false) &&
            !MainTextColour(ctl::kBack, false),
        "the list and the two buttons keep the platform's colours");
  Check(StatusTextColour(true) == RGB(255, 0, 0) && StatusTextColour(false) == RGB(0, 0, 255),
        "the status line is red after a fault, blue otherwise");

  Check(LinkAddress() == L"www.zvp-tool.invalid", "the opened address is decoded");
  const ControlSpec* link = FindControl(ctl::kWebLink);
  Check(link != nullptr && Widen(link->caption) == LinkAddress() + L" ",
        "the label shows the same address");

  const PlatformControl status = PlatformControlFor(*FindControl(ctl::kStatusLine), false);
  Check(std::wstring(status.window_class) == L"Edit" && (status.style & ES_READONLY) &&
            (status.style & ES_AUTOHSCROLL) && !(status.style & ES_CENTER) &&
            (status.ex_style & WS_EX_CLIENTEDGE),
        "the status line is a read-only, scrolling, sunken edit");
  const PlatformControl voltage = PlatformControlFor(*FindControl(ctl::kVppBox), false);
  Check((voltage.style & WS_DISABLED) && (voltage.style & ES_UPPERCASE) &&
            (voltage.style & ES_CENTER),
        "a voltage box starts disabled, centred, upper case");
  const PlatformControl view = PlatformControlFor(*FindControl(ctl::kViewGroup), false);
  Check(!(view.style & WS_VISIBLE) && (view.style & BS_TYPEMASK) == BS_GROUPBOX &&
            (view.ex_style & WS_EX_CONTROLPARENT),
        "the code-view group starts hidden and lets Tab in");
  const PlatformControl com1 = PlatformControlFor(*FindControl(ctl::kCom1), true);
  const PlatformControl com2 = PlatformControlFor(*FindControl(ctl::kCom2), false);
  Check((com1.style & WS_GROUP) && (com1.style & WS_TABSTOP) && !(com2.style & WS_GROUP) &&
            (com2.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON,
        "COM1 opens the radio group");
  const PlatformControl label = PlatformControlFor(*FindControl(ctl::kWebLink), false);
  Check((label.style & SS_NOTIFY) &&
            !(PlatformControlFor(*FindControl(128), false).style & SS_NOTIFY),
        "only the web link hears clicks");
}

// --- registry -------------------------------------------------------------

constexpr wchar_t kTestKey[] = L"Software\\zelvatool-window-units";

void RawSet(const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY raw = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_WRITE, nullptr, &raw, nullptr);
  UniqueKey key(raw);
  RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size);
}

bool RawGet(const wchar_t* name, DWORD* type, std::wstring* text, DWORD* size) {
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &raw) != ERROR_SUCCESS) return false;
  UniqueKey key(raw);
  wchar_t buffer[64] = {};
  *size = sizeof buffer;
  if (RegQueryValueExW(key.get(), name, nullptr, type, reinterpret_cast<BYTE*>(buffer), size) !=
      ERROR_SUCCESS) {
    return false;
  }
  *text = std::wstring(buffer, *size / sizeof(wchar_t));
  return true;
}

void RegistryTests() {
  RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
  RegistryStore store(kTestKey);
  Check(!store.OpenForReading(), "a missing key does not open for reading");
  Check(!store.ReadBytes("com", 8), "nothing reads without an open key");
  Check(store.OpenForWriting(), "writing creates the key");
  Check(store.WriteString("com", "com3") && store.WriteDword("auto", 0x04),
        "a text and a word are written");
  store.Close();

  DWORD type = 0, size = 0;
  std::wstring text;
  Check(RawGet(L"com", &type, &text, &size) && type == REG_SZ && size == 10 &&
            text == std::wstring(L"com3\0", 5),
        "the text is REG_SZ with its terminating zero");
  Check(RawGet(L"auto", &type, &text, &size) && type == REG_DWORD && size == 4,
        "the word is a REG_DWORD");

  Check(store.OpenForReading(), "the key opens for reading");
  Check(store.ReadBytes("com", 8) == std::string("com3\0", 5), "the text reads back");
  Check(store.ReadBytes("auto", 8) == std::string("\x04\0\0\0", 4), "the word reads back");
  Check(!store.ReadBytes("missing", 8), "a missing value reads as nothing");

  RawSet(L"Vdd", REG_SZ, L"1234567", 16);
  RawSet(L"Vpp", REG_SZ, L"12345678", 18);
  Check(store.ReadBytes("Vdd", 8).has_value(), "seven characters and the zero fit the 8 places");
  Check(!store.ReadBytes("Vpp", 8), "eight do not");
  RawSet(L"chip", REG_SZ, L"nozero", 12);  // stored without its terminator
  Check(store.ReadBytes("chip", 8) == std::string("nozero\0", 7), "a text without a zero ends");

  const DWORD one = 1;
  RawSet(L"com", REG_DWORD, &one, sizeof one);
  Check(!store.ReadBytes("com", 8), "a text stored as a word reads as nothing");
  RawSet(L"auto", REG_SZ, L"x", 4);
  Check(!store.ReadBytes("auto", 8), "a word stored as a text reads as nothing");
  const uint8_t eight[8] = {2, 0, 0, 0, 0, 0, 0, 0};
  RawSet(L"autofunc", REG_QWORD, eight, sizeof eight);
  Check(!store.ReadBytes("autofunc", 8), "a word of eight bytes reads as nothing");
  RawSet(L"data", REG_BINARY, "sam", 4);
  Check(!store.ReadBytes("data", 8), "binary data is no text");
  store.Close();
  Check(!store.ReadBytes("com", 8), "a closed store reads nothing");
  RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
}

// The settings through the real store: what LoadSettings reads and what
// SaveSettings writes, on the headless window.
void SettingsRoundTrip() {
  RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
  RegistryStore store(kTestKey);
  store.OpenForWriting();
  store.WriteString("chip", "sotp");
  store.WriteString("Vpp", "12.0V");
  store.WriteString("Vdd", "3.3V but longer");
  store.WriteDword("auto", 0x04);
  store.WriteDword("autofunc", 0x02 | 0x20);
  store.Close();

  HeadlessWindow window;
  AppState& app = App();
  ResetAppState();
  zvp::InstallWindow(&window);
  app.settings = &store;
  LoadSettings();
  Check(window.IsChecked(ctl::kChipOtp) && window.IsChecked(ctl::kVpp12) &&
            window.GetText(ctl::kVppBox, 16) == "12.0",
        "stored OTP and 12 V come back");
  Check(window.IsChecked(ctl::kVdd50), "a too long Vdd takes 5.0 V");
  Check(window.IsChecked(ctl::kAutoBlankCheck) && !window.IsChecked(ctl::kAutoLdcProtect),
        "the stored options tick blank check, not LDC");
  Check((app.function_flags & 0x02) == 0 && (app.function_flags & 0x21) == 0x21,
        "counting runs at start, the buzzer bit stays");
  Check(window.Status() == "请点击相应的COM端口以启动编程器连接", "no stored port: asks for one");

  window.SetChecked(ctl::kCom3, true);  // the choice is what is stored
  SaveSettings();
  DWORD type = 0, size = 0;
  std::wstring text;
  Check(RawGet(L"com", &type, &text, &size) && text == std::wstring(L"com3\0", 5),
        "the port is stored as com3");
  Check(RawGet(L"chip", &type, &text, &size) && text == std::wstring(L"sotp\0", 5),
        "the chip as sotp");
  Check(RawGet(L"Vpp", &type, &text, &size) && text == std::wstring(L"12.0V\0", 6), "Vpp as 12.0V");
  Check(RawGet(L"data", &type, &text, &size) && text == std::wstring(L"sam\0", 4), "data as sam");
  zvp::InstallWindow(nullptr);
  app.settings = nullptr;
  app.port = nullptr;
  RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
}

// --- controls and surface on real windows ---------------------------------

// The host window stands in for the main window: it runs surface calls and
// records what the controls send it.
struct HostLog {
  int commands = 0;
  WPARAM last_id = 0;
  LPARAM last_parent = 0;
  int aborts = 0;
  WPARAM last_key = 0;
  int keys = 0;
  LRESULT fault_answer = 0;
  int timers = 0;
};
HostLog g_log;

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kMsgInvoke:
      Win32Surface::RunInvoke(lp);
      return 1;
    case kMsgCommand:
      ++g_log.commands;
      g_log.last_id = wp;
      g_log.last_parent = lp;
      return 0;
    case kMsgAbort:
      ++g_log.aborts;
      return 0;
    case kMsgFunctionKey:
      ++g_log.keys;
      g_log.last_key = wp;
      return 0;
    case kMsgStatusFault:
      return g_log.fault_answer;
    case WM_TIMER:
      ++g_log.timers;
      return 0;
    case WM_CTLCOLORSTATIC:
      // As the main window answers for its group boxes.
      SetTextColor(reinterpret_cast<HDC>(wp), RGB(0, 100, 255));
      return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

LPARAM At(int x, int y) {
  return MAKELPARAM(x, y);
}

bool IsTicked(HWND button) {
  return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void ControlTests(HWND host) {
  CMygrp group;
  group.Create(L"Button", L"编程状态", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0,
               RECT{10, 10, 610, 220}, host, ctl::kViewGroup);
  CMybtn push;
  push.Create(L"Button", L"上一页", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, RECT{10, 20, 110, 45},
              group.hwnd(), ctl::kPrevPage);
  CMybtn radio;
  radio.Create(L"Button", L"芯片代码视图", WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON, 0,
               RECT{10, 50, 130, 70}, group.hwnd(), ctl::kViewChip);
  CMybtn check;
  check.Create(L"Button", L"ASCII格式显示", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 0,
               RECT{10, 75, 130, 95}, group.hwnd(), ctl::kViewAscii);
  CMyedit status;
  status.Create(L"Edit", L"调入代码......", WS_CHILD | WS_VISIBLE | ES_READONLY | ES_AUTOHSCROLL,
                WS_EX_CLIENTEDGE, RECT{10, 100, 595, 125}, group.hwnd(), ctl::kStatusLine);
  CMyedit address;
  address.Create(L"Edit", L"", WS_CHILD | WS_VISIBLE | ES_UPPERCASE, WS_EX_CLIENTEDGE,
                 RECT{10, 130, 65, 155}, group.hwnd(), ctl::kViewAddress);
  CMyedit file;
  file.Create(L"Edit", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, WS_EX_CLIENTEDGE,
              RECT{70, 130, 250, 155}, group.hwnd(), ctl::kFileBox);
  Check(
      push.hwnd() && radio.hwnd() && check.hwnd() && status.hwnd() && address.hwnd() && file.hwnd(),
      "the controls are created");
  SetAppMainWindow(host);
  const LPARAM parent = reinterpret_cast<LPARAM>(group.hwnd());

  // Clicks: inside sends, an edge or a drag-off does not.
  g_log = HostLog{};
  SendMessageW(push.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, At(50, 12));
  SendMessageW(push.hwnd(), WM_LBUTTONUP, 0, At(50, 12));
  Check(g_log.commands == 1 && g_log.last_id == ctl::kPrevPage && g_log.last_parent == parent,
        "a click sends the id and the parent window");
  SendMessageW(push.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, At(50, 12));
  SendMessageW(push.hwnd(), WM_LBUTTONUP, 0, At(0, 12));
  SendMessageW(push.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, At(50, 12));
  SendMessageW(push.hwnd(), WM_LBUTTONUP, 0, At(50, 0));
  SendMessageW(push.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, At(50, 12));
  SendMessageW(push.hwnd(), WM_LBUTTONUP, 0, At(-30, 60));
  Check(g_log.commands == 1, "edge releases and a drag-off send nothing");
  SendMessageW(push.hwnd(), WM_LBUTTONUP, 0, At(50, 12));
  Check(g_log.commands == 1, "a release without a press sends nothing");

  // The check box: the command sees the new state.
  SendMessageW(check.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, At(20, 10));
  SendMessageW(check.hwnd(), WM_LBUTTONUP, 0, At(20, 10));
  Check(g_log.commands == 2 && IsTicked(check.hwnd()), "a click ticks the box and sends");

  // Keys: Enter sends without toggling, F5 goes as a function key, Space
  // does nothing, other keys nothing.
  SendMessageW(check.hwnd(), WM_KEYDOWN, VK_RETURN, 0);
  SendMessageW(check.hwnd(), WM_KEYUP, VK_RETURN, 0);
  Check(g_log.commands == 3 && g_log.last_id == ctl::kViewAscii && IsTicked(check.hwnd()),
        "Enter sends and leaves the tick");
  SendMessageW(check.hwnd(), WM_KEYDOWN, VK_SPACE, 0);
  SendMessageW(check.hwnd(), WM_KEYUP, VK_SPACE, 0);
  Check(g_log.commands == 3 && IsTicked(check.hwnd()) &&
            !(SendMessageW(check.hwnd(), BM_GETSTATE, 0, 0) & BST_PUSHED) &&
            GetCapture() != check.hwnd(),
        "Space neither sends, toggles, nor leaves the box pressed");
  SendMessageW(push.hwnd(), WM_KEYUP, VK_F5, 0);
  SendMessageW(push.hwnd(), WM_KEYUP, VK_F1, 0);
  SendMessageW(push.hwnd(), WM_KEYUP, 'A', 0);
  Check(g_log.keys == 1 && g_log.last_key == VK_F5 && g_log.commands == 3,
        "F5 is reported, F1 and letters are not");

  // The lock: the code-view controls ignore presses, "上一页" does not.
  for (HWND h : {radio.hwnd(), check.hwnd(), push.hwnd()}) SendMessageW(h, kMsgLock, 0, 1);
  SendMessageW(radio.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, At(20, 10));
  SendMessageW(radio.hwnd(), WM_LBUTTONUP, 0, At(20, 10));
  SendMessageW(radio.hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, At(20, 10));
  SendMessageW(radio.hwnd(), WM_LBUTTONUP, 0, At(20, 10));
  Check(!IsTicked(radio.hwnd()) && g_log.commands == 3 && radio.locked(),
        "a locked view control neither checks nor sends, double-click included");
  SendMessageW(push.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, At(50, 12));
  SendMessageW(push.hwnd(), WM_LBUTTONUP, 0, At(50, 12));
  Check(g_log.commands == 4, "上一页 is not held by the lock");
  for (HWND h : {radio.hwnd(), check.hwnd(), push.hwnd()}) SendMessageW(h, kMsgLock, 0, 0);
  SendMessageW(radio.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, At(20, 10));
  SendMessageW(radio.hwnd(), WM_LBUTTONUP, 0, At(20, 10));
  Check(IsTicked(radio.hwnd()) && g_log.commands == 5, "unlocked, the radio button works");

  // A double-click's second press is a press too.
  SendMessageW(check.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, At(20, 10));
  SendMessageW(check.hwnd(), WM_LBUTTONUP, 0, At(20, 10));
  SendMessageW(check.hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, At(20, 10));
  SendMessageW(check.hwnd(), WM_LBUTTONUP, 0, At(20, 10));
  Check(g_log.commands == 7 && IsTicked(check.hwnd()), "both presses of a double-click send");

  // A push button that took the default look loses it with the focus.
  SendMessageW(push.hwnd(), BM_SETSTYLE, BS_DEFPUSHBUTTON, FALSE);
  SetFocus(push.hwnd());
  SetFocus(host);
  Check((GetWindowLongPtrW(push.hwnd(), GWL_STYLE) & BS_TYPEMASK) == BS_PUSHBUTTON,
        "focus lost drops the default look");

  // Edits: the character filter, Enter in the display address, the
  // double-clicks.
  SendMessageW(address.hwnd(), WM_CHAR, 'G', 0);
  SendMessageW(address.hwnd(), WM_CHAR, ' ', 0);
  SendMessageW(address.hwnd(), WM_CHAR, 'a', 0);
  SendMessageW(address.hwnd(), WM_CHAR, '1', 0);
  wchar_t text[32] = {};
  GetWindowTextW(address.hwnd(), text, 32);
  Check(std::wstring(text) == L"A1", "the address box takes a and 1 (upper case), not G or space");
  SendMessageW(file.hwnd(), WM_CHAR, 'G', 0);
  SendMessageW(file.hwnd(), WM_CHAR, ' ', 0);
  GetWindowTextW(file.hwnd(), text, 32);
  Check(std::wstring(text) == L"G ", "the file box takes them");
  SendMessageW(address.hwnd(), WM_KEYUP, VK_RETURN, 0);
  Check(g_log.commands == 8 && g_log.last_id == ctl::kViewSet && g_log.last_parent == parent,
        "Enter in the display address acts as 设 置");
  SendMessageW(file.hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, At(20, 10));
  Check(g_log.commands == 9 && g_log.last_id == ctl::kOpenFile,
        "a double-click on the file box opens");
  RECT format{};
  SendMessageW(status.hwnd(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
  SendMessageW(status.hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, At(format.left + 150, format.top + 5));
  Check(g_log.aborts == 0, "a double-click 150 pixels into the status line asks for nothing");
  SendMessageW(status.hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, At(format.left + 50, format.top + 5));
  Check(g_log.aborts == 1, "at 50 pixels it asks for a stop");

  // The group box colours the status line by the window's answer.
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  g_log.fault_answer = 1;
  SendMessageW(group.hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(status.hwnd()));
  Check(GetTextColor(dc) == RGB(255, 0, 0), "a fault draws the status text red");
  g_log.fault_answer = 0;
  SendMessageW(group.hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(status.hwnd()));
  Check(GetTextColor(dc) == RGB(0, 0, 255), "otherwise blue");
  SetTextColor(dc, RGB(1, 2, 3));
  SendMessageW(group.hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(address.hwnd()));
  Check(GetTextColor(dc) != RGB(255, 0, 0) && GetTextColor(dc) != RGB(0, 0, 255),
        "other children keep the platform's colour");
  // The group box draws its own caption, in the colour its parent gives,
  // whatever a visual style would have drawn.
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = 600;
  info.bmiHeader.biHeight = -30;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  Unique<HBITMAP, ReleaseGdiObject> bitmap(
      CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  const HGDIOBJ old_bitmap = SelectObject(dc, bitmap.get());
  SendMessageW(group.hwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  GdiFlush();
  int caption_pixels = 0;
  int white = 0;
  const auto* pixel = static_cast<const uint32_t*>(bits);
  for (int i = 0; i < 600 * 14; ++i) {
    const int r = (pixel[i] >> 16) & 0xFF, g = (pixel[i] >> 8) & 0xFF, b = pixel[i] & 0xFF;
    if (b > g + 30 && g > r + 30) ++caption_pixels;  // RGB(0, 100, 255), smoothed or not
    if (r == 255 && g == 255 && b == 255) ++white;
  }
  SelectObject(dc, old_bitmap);
  Check(caption_pixels > 10, "the group caption is drawn in the parent's colour (" +
                                 std::to_string(caption_pixels) + " pixels)");
  Check(white > 1000, "on the parent's brush");
  DeleteDC(dc);
  SetAppMainWindow(nullptr);
  DestroyWindow(group.hwnd());
  Check(group.hwnd() == nullptr && push.hwnd() == nullptr,
        "destroyed controls let go of their windows");
}

void SurfaceTests(HWND host) {
  auto make = [&](const wchar_t* cls, DWORD style, HWND parent, int id) {
    return CreateWindowExW(0, cls, L"", WS_CHILD | style, 0, 0, 100, 20, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
  };
  HWND status = make(L"Edit", WS_VISIBLE | ES_READONLY, host, ctl::kStatusLine);
  HWND group = make(L"Button", BS_GROUPBOX, host, ctl::kViewGroup);  // hidden
  HWND prev = make(L"Button", WS_VISIBLE | BS_PUSHBUTTON, group, ctl::kPrevPage);
  HWND list = make(WC_LISTVIEWW, WS_VISIBLE | LVS_REPORT, host, ctl::kViewList);
  CMybtn view_memory;
  view_memory.Create(L"Button", L"编程内存代码视图", WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON, 0,
                     RECT{0, 30, 110, 50}, host, ctl::kViewMemory);
  Win32Surface surface(GetModuleHandleW(nullptr));
  surface.Attach(host, {{ctl::kStatusLine, status},
                        {ctl::kViewGroup, group},
                        {ctl::kPrevPage, prev},
                        {ctl::kViewList, list},
                        {ctl::kViewMemory, view_memory.hwnd()}});

  // On the UI thread the calls work directly.
  surface.SetStatus("初始化ZVP-V2.0C,请稍候......");
  Check(surface.Status() == "初始化ZVP-V2.0C,请稍候......", "the status text goes in and out");
  Check(surface.GetText(ctl::kStatusLine, 3) == "初始化", "GetText keeps to its count");
  Check(!surface.IsVisible(ctl::kPrevPage), "a control in a hidden group is not visible");
  surface.SetVisible(ctl::kViewGroup, true);
  Check(surface.IsVisible(ctl::kPrevPage), "it is once the group shows");
  Check(!surface.IsChecked(999) && surface.GetText(999, 10).empty(), "unknown ids are harmless");

  // From a worker every call waits for the UI thread, which keeps pumping.
  std::atomic<bool> done{false};
  std::string seen, cell;
  bool checked = false, locked = false;
  std::thread worker([&] {
    surface.SetStatus("工作线程的状态");
    seen = surface.Status();
    surface.SetChecked(ctl::kViewMemory, true);
    checked = surface.IsChecked(ctl::kViewMemory);
    surface.LockViewControls(true);
    locked = view_memory.locked();
    surface.SetWindowRegion(700, 440);
    surface.PrepareCodeViewList();
    surface.SetListCell(3, 5, "A5");
    cell = surface.ListCell(3, 5);
    done = true;
  });
  while (!done) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    Pump();
  }
  worker.join();
  Check(seen == "工作线程的状态", "a worker's status text has been taken when its call returns");
  Check(checked && locked, "check marks and the lock reach the controls from a worker");
  RECT box{};
  UniqueRegion region(CreateRectRgn(0, 0, 0, 0));
  GetWindowRgn(host, region.get());
  GetRgnBox(region.get(), &box);
  Check(box.right == 700 && box.bottom == 440, "the region is 700 x 440");
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  Check(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) == 17 &&
            SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 16,
        "the list gets 17 columns and 16 rows");
  Check(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0) == 45 &&
            SendMessageW(list, LVM_GETCOLUMNWIDTH, 16, 0) == 26,
        "ADDR is 45 pixels wide, the bytes 26");
  const DWORD extended = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  Check((extended & LVS_EX_GRIDLINES) && (extended & LVS_EX_FULLROWSELECT),
        "grid lines and full-row selection");
  Check(cell == "A5", "a cell written from a worker reads back");
  surface.PrepareCodeViewList();
  Check(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) == 17, "a second preparation adds nothing");

  g_log.timers = 0;
  surface.ArmTimer(ctl::kResetPollTimer, 30);
  const DWORD until = GetTickCount() + 500;
  while (GetTickCount() < until && g_log.timers == 0) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    Pump();
  }
  KillTimer(host, ctl::kResetPollTimer);
  Check(g_log.timers > 0, "an armed timer ticks on the window");

  // Once the window is gone for the surface, calls from anywhere do nothing
  // and the boxes answer the cautious way, without waiting for anyone.
  surface.Detach();
  MsgAnswer answer = MsgAnswer::kYes;
  std::string late_text = "x";
  std::thread late([&] {
    MessageBox box;
    box.text = "确实要完全擦除当前存储器么?";
    box.buttons = MsgButtons::kYesNo;
    answer = surface.ShowMessage(box);
    late_text = surface.GetText(ctl::kStatusLine, 50);
    surface.SetStatus("太迟了");
  });
  late.join();
  wchar_t text[64] = {};
  GetWindowTextW(status, text, 64);
  Check(answer == MsgAnswer::kNo && late_text.empty() && std::wstring(text) == L"工作线程的状态",
        "a detached surface answers No, reads nothing and writes nothing");
}

// --- the day's production log, shared by two windows ------------------------

// Adds `lines` lines to the day's file in `folder` through the window's own
// DailyProductionLog, as the window on `port` does after each run, from the
// moment FOLDER\go appears, so that both writers start at once on a new
// file. Each line carries its pass count (1..lines). Exits 0 when every
// line was taken.
int LogWriter(const std::wstring& folder, const std::wstring& port, int lines) {
  HeadlessWindow window;
  ResetAppState();
  zvp::InstallWindow(&window);
  window.ResetToCreatedState();
  const int n = port.size() == 4 ? port[3] - L'0' : 0;
  if (port.rfind(L"COM", 0) != 0 || n < 1 || n > 4) return 2;
  window.SetChecked(ctl::kCom1 + n - 1, true);
  window.SetText(ctl::kFileBox, "板,\"A\".hex");
  window.SetStatus("自动编程已成功完成");
  DailyProductionLog log(Narrow(folder), std::make_unique<Win32AppendFile>());
  std::printf("ready\n");
  std::fflush(stdout);
  const std::wstring go = folder + L"\\go";
  for (int waited = 0; GetFileAttributesW(go.c_str()) == INVALID_FILE_ATTRIBUTES; ++waited) {
    if (waited > 60000) return 3;
    Sleep(1);
  }
  for (int i = 1; i <= lines; ++i) {
    App().pass_count = static_cast<uint32_t>(i);
    log.AutoRunFinished(AutoRunRecord{});
  }
  zvp::InstallWindow(nullptr);
  for (const MessageBox& box : window.Messages()) std::printf("%s\n", box.text.c_str());
  return window.Messages().empty() ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 5 && std::wcscmp(argv[1], L"log-writer") == 0) {
    return LogWriter(argv[2], argv[3], static_cast<int>(std::wcstol(argv[4], nullptr, 10)));
  }
  TextTests();
  RuleTests();
  RegistryTests();
  SettingsRoundTrip();

  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSW host_class{};
  host_class.lpfnWndProc = HostProc;
  host_class.hInstance = GetModuleHandleW(nullptr);
  host_class.lpszClassName = L"ZvpWindowUnitsHost";
  RegisterClassW(&host_class);
  HWND host = CreateWindowExW(0, host_class.lpszClassName, L"host", WS_OVERLAPPEDWINDOW, 0, 0, 700,
                              700, nullptr, nullptr, host_class.hInstance, nullptr);
  Check(host != nullptr, "a host window can be made");
  if (host != nullptr) {
    ControlTests(host);
    SurfaceTests(host);
    DestroyWindow(host);
  }
  std::printf("window units: %d passed, %d failed\n", g_passes, g_failures);
  std::fflush(stdout);
  return g_failures == 0 ? 0 : 1;
}
