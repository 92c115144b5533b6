#include "tests/wine/driver_steps.h"

#include "ui/control_ids.h"
#include "windows/wide_text.h"

namespace zvp::driver {

std::string U8(const std::wstring& w) {
  return win::Narrow(w);
}

std::string StatusU8(const Program& p) {
  return TextU8(p.Control(ctl::kStatusLine));
}

bool StatusIs(const Program& p, const std::wstring& text) {
  return Text(p.Control(ctl::kStatusLine)) == text;
}

bool WaitStatus(const Program& p, const std::wstring& text, int ms) {
  return WaitFor([&] { return StatusIs(p, text); }, ms);
}

bool RegionHeight(const Program& p, int height) {
  const RECT r = RegionBox(p.main());
  return r.right == 700 && r.bottom == height;
}

// Brings the main window to the front with a click on its bare background
// (left of the port group), where a click does nothing else. With no window
// manager on the test display, Wine does not always hand the activation back
// to the main window when a dialog it owns closes, and the first click on an
// inactive window only activates it.
bool Activate(const Program& p) {
  if (GetForegroundWindow() == p.main()) return true;
  POINT bare{4, 60};
  ClientToScreen(p.main(), &bare);
  ClickAt(bare);
  return WaitFor([&] { return GetForegroundWindow() == p.main(); }, kEffectMs);
}

// Presses the box's button with the mouse and waits for the box to go.
bool AnswerBox(const Program& p, HWND box, int button) {
  HWND target = GetDlgItem(box, button);
  if (target == nullptr) return false;
  Click(target);
  const bool gone = WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, kEffectMs);
  return gone && Activate(p);
}

// Text is smoothed into the background, so its pixels are judged by hue:
// one channel well above the others.
bool Reddish(COLORREF c) {
  return GetRValue(c) > GetGValue(c) + 80 && GetRValue(c) > GetBValue(c) + 80;
}
bool Bluish(COLORREF c) {
  return GetBValue(c) > GetRValue(c) + 80 && GetBValue(c) > GetGValue(c) + 80;
}

// The status line's text on the screen.
RECT StatusTextArea(const Program& p) {
  RECT r = ScreenRect(p.Control(ctl::kStatusLine));
  InflateRect(&r, -3, -3);
  return r;
}

std::wstring AnswerConnectionBox(const Program& p, const std::wstring& port,
                                 const std::string& shot, int ms) {
  HWND box = p.WaitForDialog(kWarningCaption, ms);
  if (box == nullptr) return L"";
  const std::wstring text = DialogMessage(box);
  if (!shot.empty()) Shot(shot, box);
  AnswerBox(p, box, IDOK);
  return text.rfind(L"端口 " + port + L" ", 0) == 0 ? text : L"(another box) " + text;
}

HWND OpenPortDialog(Program& p, const std::string& menu_shot) {
  Check(Activate(p), "the main window is in front for its system menu");
  // A window that has only just come up may miss the first Alt+Space; the
  // arrows must not reach the window itself (they would move between its
  // port buttons), so they wait until the menu shows.
  auto menu_shown = [] {
    HWND menu = FindWindowW(L"#32768", nullptr);
    return menu != nullptr && IsWindowVisible(menu);
  };
  for (int attempt = 0; attempt < 3 && !menu_shown(); ++attempt) {
    KeyDown(VK_MENU);
    PressKey(VK_SPACE);
    KeyUp(VK_MENU);
    WaitFor(menu_shown, 2000);
  }
  if (!menu_shown()) {
    Check(false, "Alt+Space opens the system menu");
    return nullptr;
  }
  PressKey(VK_UP);
  PressKey(VK_UP);
  if (!menu_shot.empty()) Shot(menu_shot, p.main());
  PressKey(VK_RETURN);
  HWND dialog = p.WaitForDialog(kPortDialog, kEffectMs);
  Check(dialog != nullptr, "选择其他串口... opens its dialog");
  return dialog;
}

bool WaitForPage(const Program& p, int ms) {
  return WaitFor(
      [&] { return Text(p.Control(ctl::kStatusLine)).rfind(L"当前显示代码区段", 0) == 0; }, ms);
}

int Quit(Program& p) {
  Click(p.Control(ctl::kQuit));
  const int code = p.WaitForExit(10000);
  Check(code == 0, "退出编程 ends the program (exit " + std::to_string(code) + ")");
  if (code < 0) p.Kill();
  return code;
}

// "打开文件", "保存HEX" (or a double-click on the file box) opens the file
// dialog from the operation worker; the name typed into it is taken. A press
// that lands while the last operation's worker finishes its end steps is
// ignored by the window, as a technician's would be, so the press is repeated
// until a dialog shows; a press while the dialog is on its way is ignored the
// same way and does no harm.
bool ChooseInFileDialog(Program& p, const std::function<void()>& press, const std::wstring& path,
                        const std::string& shot) {
  HWND dialog = nullptr;
  for (int attempt = 0; attempt < 4 && dialog == nullptr; ++attempt) {
    press();
    WaitFor([&] { return (dialog = p.AnyOtherDialog()) != nullptr; }, 10000);
  }
  Check(dialog != nullptr, "the open dialog shows: " + TextU8(dialog));
  if (dialog == nullptr) return false;
  Pause(500);
  if (!shot.empty()) Shot(shot, dialog);
  TypeText(path);
  PressKey(VK_RETURN);
  const bool taken = WaitFor([&] { return !IsWindow(dialog); }, kEffectMs);
  Check(taken, "it takes the typed name");
  return taken && Activate(p);
}

bool ChooseInFileDialog(Program& p, HWND button, const std::wstring& path,
                        const std::string& shot) {
  return ChooseInFileDialog(
      p, [&] { Click(button); }, path, shot);
}

}  // namespace zvp::driver
