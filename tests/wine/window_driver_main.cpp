// window_driver: runs zvp.exe under Wine and uses its main window the way a
// technician would, with real mouse and keyboard input at the controls'
// screen positions, checking what the window shows after each step. Run by
// run_window.sh, one phase per call:
//
//   window_driver.exe first    ZVP_EXE [SIGNAL_DIR]  fresh settings; COM1
//                                                    leads to zvp-sim
//   window_driver.exe restart  ZVP_EXE [SIGNAL_DIR]  the choices of "first"
//                                                    are back, COM1 reconnects
//   window_driver.exe simulate ZVP_EXE [SIGNAL_DIR]  damaged settings; the
//                                                    built-in programmer
//
// With SIGNAL_DIR (a Windows path) the driver asks the runner for
// screenshots ("ASK shot NAME GEOMETRY") and for the simulator's reset
// message ("ASK reset"); the runner answers with a file in that directory.
// Exits 0 when every check held.

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "tests/wine/driver_steps.h"
#include "tests/wine/window_driver.h"
#include "ui/control_ids.h"
#include "ui/control_table.h"
#include "windows/wide_text.h"

namespace {

using namespace zvp;
using namespace zvp::driver;
namespace ctl = zvp::ctl;

// The controls that only an MTP chip uses, and 3.3 V.
constexpr int kMtpOnly[] = {
    ctl::kAutoLdcProtect, ctl::kAutoHwWriteProtect, ctl::kEnableSmart, ctl::kEraseBeforeProgram,
    ctl::kEraseMtp,       ctl::kHwWriteProtect,     ctl::kLdcProtect,  ctl::kVdd33};

std::string RectText(const RECT& r) {
  char text[64];
  std::snprintf(text, sizeof text, "%ld,%ld,%ld,%ld", r.left, r.top, r.right, r.bottom);
  return text;
}

bool SameRect(const RECT& a, const ControlRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::wstring ExpectedClass(ControlKind kind) {
  switch (kind) {
    case ControlKind::kEdit:
      return L"Edit";
    case ControlKind::kLabel:
      return L"Static";
    case ControlKind::kList:
      return L"SysListView32";
    default:
      return L"Button";
  }
}

// The styles the table asks for, as the platform control carries them.
bool StylesMatch(const ControlSpec& entry, LONG_PTR s, LONG_PTR ex) {
  const uint32_t want = entry.styles;
  const LONG_PTR type = s & BS_TYPEMASK;
  switch (entry.kind) {
    case ControlKind::kGroup:
      return type == BS_GROUPBOX;
    case ControlKind::kPush:
      return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
    case ControlKind::kRadio:
      return type == BS_AUTORADIOBUTTON &&
             ((s & WS_GROUP) != 0) == ((want & style::kFirstOfGroup) != 0);
    case ControlKind::kCheck:
      return type == BS_AUTOCHECKBOX;
    case ControlKind::kEdit:
      return ((s & ES_CENTER) != 0) == ((want & style::kCentred) != 0) &&
             ((s & ES_UPPERCASE) != 0) == ((want & style::kUpperCase) != 0) &&
             ((s & ES_READONLY) != 0) == ((want & style::kReadOnly) != 0) &&
             ((s & ES_NUMBER) != 0) == ((want & style::kDigitsOnly) != 0) &&
             ((s & WS_BORDER) != 0) == ((want & style::kBorder) != 0) &&
             ((s & ES_AUTOHSCROLL) != 0) == ((want & style::kAutoHScroll) != 0) &&
             (ex & WS_EX_CLIENTEDGE) != 0;
    case ControlKind::kLabel:
      return ((s & SS_NOTIFY) != 0) == ((want & style::kNotify) != 0);
    case ControlKind::kList:
      return (s & LVS_TYPEMASK) == LVS_REPORT && (s & LVS_NOSORTHEADER) && (s & LVS_NOSCROLL) &&
             (s & LVS_SHOWSELALWAYS) && (ex & WS_EX_CLIENTEDGE) && (ex & WS_EX_STATICEDGE);
  }
  return false;
}

// Every control of the table, as created: id, window class, caption,
// parent, rectangle, styles, visibility, and the creation order.
void CheckControlTable(const Program& p) {
  const auto table = MainWindowControls();
  int missing = 0;
  for (const ControlSpec& entry : table) {
    HWND hwnd = p.Control(entry.id);
    const std::string name = "control " + std::to_string(entry.id);
    if (hwnd == nullptr) {
      Check(false, name + " exists");
      ++missing;
      continue;
    }
    HWND want_parent = entry.parent == 0 ? p.main() : p.Control(entry.parent);
    const std::wstring cls = ClassOf(hwnd);
    const RECT rect = RectInParent(hwnd);
    const bool class_ok = _wcsicmp(cls.c_str(), ExpectedClass(entry.kind).c_str()) == 0;
    const bool parent_ok = GetParent(hwnd) == want_parent;
    const bool rect_ok = SameRect(rect, entry.rect);
    const bool styles_ok = StylesMatch(entry, StyleOf(hwnd), ExStyleOf(hwnd));
    const bool visible_ok =
        ((StyleOf(hwnd) & WS_VISIBLE) != 0) == ((entry.styles & style::kHiddenAtStart) == 0);
    // Edits show their start texts; the status line has its first message.
    // (the voltage boxes get theirs from the stored settings).
    bool caption_ok = true;
    if (entry.kind != ControlKind::kList &&
        !(entry.kind == ControlKind::kEdit && !*entry.caption)) {
      caption_ok = TextU8(hwnd) == entry.caption;
    }
    const bool ok = class_ok && parent_ok && rect_ok && styles_ok && visible_ok && caption_ok;
    std::string why;
    if (!class_ok) why += " class " + U8(cls);
    if (!parent_ok) why += " parent";
    if (!rect_ok) why += " rect " + RectText(rect);
    if (!styles_ok) why += " styles";
    if (!visible_ok) why += " visibility";
    if (!caption_ok) why += " caption '" + TextU8(hwnd) + "'";
    Check(ok, name + " (" + entry.caption + ") as tabled" + why);
  }
  // Nothing more than the table (the list's own header aside), and the
  // main window's children in the table's order.
  int extra = 0;
  for (HWND hwnd : p.Descendants()) {
    const int id = GetDlgCtrlID(hwnd);
    if (FindControl(id) == nullptr && GetParent(hwnd) != p.Control(ctl::kViewList)) ++extra;
  }
  Check(extra == 0, "no control beyond the table (" + std::to_string(extra) + " more)");
  std::vector<int> order;
  for (HWND h = GetWindow(p.main(), GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT)) {
    order.push_back(GetDlgCtrlID(h));
  }
  std::vector<int> expected;
  for (const ControlSpec& entry : table) {
    if (entry.parent == 0) expected.push_back(entry.id);
  }
  Check(order == expected, "the main window's controls come in the table's order");
  Check(missing == 0, "all " + std::to_string(table.size()) + " controls of the table exist");
}

void CheckStartState(const Program& p) {
  auto text = [&](int id) { return Text(p.Control(id)); };
  Check(text(ctl::kStartAddress) == L"0000" && text(ctl::kEndAddress) == L"1FFF",
        "the address boxes read 0000 and 1FFF");
  Check(text(ctl::kPassBox) == L"00000" && text(ctl::kFailBox) == L"00000",
        "both count boxes read 00000");
  Check(!IsWindowEnabled(p.Control(ctl::kVppBox)) && !IsWindowEnabled(p.Control(ctl::kVddBox)),
        "the voltage boxes are greyed");
  Check(!Checked(p.Control(ctl::kDebugMode)), "debug mode is off");
  for (int id : {ctl::kViewGroup, ctl::kViewList, ctl::kBack}) {
    Check(!ShownBelow(p.Control(id), p.main()),
          "code-view control " + std::to_string(id) + " is hidden at start");
  }
  Check(ShownBelow(p.Control(ctl::kCountGroup), p.main()), "the counter group is shown");
  const RECT region = RegionBox(p.main());
  Check(region.left == 0 && region.top == 0 && region.right == 700 && region.bottom == 700,
        "the window is clipped to 700 x 700 (" + RectText(region) + ")");
  Check(Text(p.main()).find(L"www.zvp-tool.invalid") != std::wstring::npos,
        "the caption holds the web address: " + TextU8(p.main()));
}

// First start, no stored settings: the defaults.
void CheckFirstStartDefaults(const Program& p) {
  auto checked = [&](int id) { return Checked(p.Control(id)); };
  Check(checked(ctl::kChipMtp) && !checked(ctl::kChipOtp), "serial MTP is selected");
  Check(checked(ctl::kVdd50) && Text(p.Control(ctl::kVddBox)) == L"5.0", "5.0 V, box 5.0");
  Check(checked(ctl::kVppVcc) && Text(p.Control(ctl::kVppBox)) == L"VCC", "Vpp from Vcc, box VCC");
  Check(checked(ctl::kAutoReadProtect) && checked(ctl::kAutoHwWriteProtect) &&
            checked(ctl::kEnableSmart) && checked(ctl::kAutoVerify) &&
            checked(ctl::kEraseBeforeProgram),
        "read protection, hardware protection, SMART, verify and erase are ticked");
  Check(!checked(ctl::kAutoBlankCheck) && !checked(ctl::kAutoLdcProtect),
        "blank check and LDC protection are not");
  Check(checked(ctl::kBuzzer) && checked(ctl::kShowCounters), "buzzer and counters are ticked");
  bool any_port = false;
  for (int id = ctl::kCom1; id <= ctl::kCom4; ++id) any_port = any_port || checked(id);
  Check(!any_port, "no port is selected");
  Check(Text(p.Control(ctl::kStatusLine)) == kAskForPort, "the status line asks for a port");
}

// "校验芯片" with nothing in the programmer memory: message W.
bool VerifyShowsNoCode(Program& p, const std::string& shot) {
  HWND box = p.WaitForDialog(kWarningCaption, kEffectMs);
  if (box == nullptr) return false;
  const bool text_ok = DialogMessage(box) == kNoCodeText;
  Check(text_ok, "message W reads as it should: " + U8(DialogMessage(box)));
  if (!shot.empty()) Shot(shot, box);
  Check(AnswerBox(p, box, IDOK), "message W closes with its OK button");
  return true;
}

// --- the custom controls' rules ------------------------------------------

void CheckPressRules(Program& p) {
  HWND verify = p.Control(ctl::kVerifyChip);
  const RECT r = ScreenRect(verify);
  const POINT middle = Centre(verify);
  // The window must take the presses, or "nothing happened" proves nothing.
  Check(Activate(p), "the main window is in front for the press tests");

  // Pressed, dragged off, released elsewhere: nothing.
  MoveMouse(middle);
  MouseDown();
  MoveMouse(POINT{r.right + 20, r.bottom + 8});
  MouseUp();
  Check(p.WaitForDialog(kWarningCaption, kQuietMs) == nullptr,
        "a press dragged off the button sends nothing");

  // Released on the left edge pixel, then on the top edge pixel: nothing.
  MoveMouse(middle);
  MouseDown();
  MoveMouse(POINT{r.left, middle.y});
  MouseUp();
  Check(p.WaitForDialog(kWarningCaption, kQuietMs) == nullptr,
        "a release on the left edge sends nothing");
  MoveMouse(middle);
  MouseDown();
  MoveMouse(POINT{middle.x, r.top});
  MouseUp();
  Check(p.WaitForDialog(kWarningCaption, kQuietMs) == nullptr,
        "a release on the top edge sends nothing");

  // One pixel further in, the same press is a click.
  MoveMouse(middle);
  MouseDown();
  MoveMouse(POINT{r.left + 1, r.top + 1});
  MouseUp();
  Check(VerifyShowsNoCode(p, ""), "a release one pixel inside the corner clicks");
}

// Enter on a focused check box sends its command and leaves the tick alone;
// Space does neither.
void CheckKeysOnCheckBox(Program& p) {
  HWND box = p.Control(ctl::kShowCounters);
  const RECT r = ScreenRect(box);
  // Focus without a click: press on it, drag off, let go.
  MoveMouse(Centre(box));
  MouseDown();
  MoveMouse(POINT{r.right + 30, r.bottom + 30});
  MouseUp();
  Check(Checked(box) && RegionHeight(p, 700), "the drag-off left the tick and the region");
  Check(GetForegroundWindow() == p.main(), "the main window is in front");

  // The tick taken away behind the window's back: only a command can now
  // change the region.
  SendMessageW(box, BM_SETCHECK, BST_UNCHECKED, 0);
  PressKey(VK_RETURN);
  Check(WaitFor([&] { return RegionHeight(p, 440); }, kEffectMs),
        "Enter on the check box sent its command (region 700 x 440)");
  Check(!Checked(box), "Enter did not toggle the check box");
  Check(IsWindow(p.main()) && p.AnyOtherDialog() == nullptr, "Enter closed nothing");

  PressKey(VK_SPACE);
  Pause(kQuietMs);
  Check(!Checked(box) && RegionHeight(p, 440), "Space neither toggles nor sends");

  // Back: a click ticks and shows the counters.
  Click(box);
  Check(WaitFor([&] { return Checked(box) && RegionHeight(p, 700); }, kEffectMs),
        "a click ticks the box and shows the counters again");
  PressKey(VK_ESCAPE);
  Pause(kQuietMs);
  Check(IsWindow(p.main()) && IsWindowVisible(p.main()), "Escape does not close the window");
}

void CheckTyping(Program& p) {
  HWND start = p.Control(ctl::kStartAddress);
  Click(start);
  PressKey(VK_END);
  TypeText(L"G ");
  Pause(300);
  Check(Text(start) == L"0000", "G and a space typed into the start address change nothing");
  for (int i = 0; i < 4; ++i) PressKey(VK_BACK);
  Check(WaitFor([&] { return Text(start).empty(); }, kEffectMs), "backspace empties the box");
  TypeText(L"1aG2b");
  Check(WaitFor([&] { return Text(start) == L"1A2B"; }, kEffectMs),
        "hex digits go in, upper case, G does not (" + TextU8(start) + ")");
  for (int i = 0; i < 4; ++i) PressKey(VK_BACK);
  TypeText(L"0000");
  Check(WaitFor([&] { return Text(start) == L"0000"; }, kEffectMs), "and 0000 is back");

  HWND file = p.Control(ctl::kFileBox);
  Click(file);
  PressKey(VK_END);
  TypeText(L"G x");
  Check(WaitFor([&] { return Text(file) == L"G x"; }, kEffectMs),
        "the file box takes every character (" + TextU8(file) + ")");
  for (int i = 0; i < 3; ++i) PressKey(VK_BACK);
  Check(WaitFor([&] { return Text(file).empty(); }, kEffectMs), "and gives them back");
}

// --- the phases -----------------------------------------------------------

void CodeViewBeforePortAndFileShortcut(Program& p) {
  // "显示内存数据" swaps the panels; without a port the refresh is refused.
  Click(p.Control(ctl::kShowMemory));
  Check(WaitFor([&] { return ShownBelow(p.Control(ctl::kViewList), p.main()); }, kEffectMs),
        "the code view shows");
  Check(!ShownBelow(p.Control(ctl::kOperationGroup), p.main()) &&
            !ShownBelow(p.Control(ctl::kQuit), p.main()) &&
            ShownBelow(p.Control(ctl::kBack), p.main()),
        "the operation panel and the quit button give way to it");
  Check(WaitStatus(p, kAskForPort), "without a port the view asks for one");
  Click(p.Control(ctl::kBack));
  Check(WaitStatus(p, kChooseOperation), "返 回 writes 请选择编程操作");
  Check(ShownBelow(p.Control(ctl::kOperationGroup), p.main()) &&
            !ShownBelow(p.Control(ctl::kViewList), p.main()),
        "and brings the panel back");
  // The file box's double-click is "打开文件", which needs a port.
  DoubleClickAt(Centre(p.Control(ctl::kFileBox)));
  Check(WaitStatus(p, kAskForPort), "a double-click on the file box acts as 打开文件");
}

void ConnectCom1(Program& p) {
  // COM2 leads nowhere: the connection fails, in red, and a box says why.
  Click(p.Control(ctl::kCom2));
  const bool failed = WaitStatus(p, kConnectError, 15000);
  Check(failed, "COM2 with nothing behind it shows the connection error: " + StatusU8(p));
  const std::wstring why = AnswerConnectionBox(p, L"COM2", "connection_error_why");
  Check(!why.empty() && why.rfind(L"端口 COM2 ", 0) == 0, "a box says why COM2 failed: " + U8(why));
  Check(StatusIs(p, kConnectError), "and the connection error stays on the status line");
  Pause(300);
  Check(ScreenHasColour(StatusTextArea(p), Reddish) && !ScreenHasColour(StatusTextArea(p), Bluish),
        "the error is drawn in red");
  Shot("connection_error", p.main());

  Click(p.Control(ctl::kCom1));
  const bool connected = WaitStatus(p, kConnectedPrefix + L"COM1", 15000);
  Check(connected, "COM1 connects to the virtual programmer: " + StatusU8(p));
  Check(Checked(p.Control(ctl::kCom1)) && !Checked(p.Control(ctl::kCom2)), "COM1 is selected");
  Pause(300);
  Check(ScreenHasColour(StatusTextArea(p), Bluish) && !ScreenHasColour(StatusTextArea(p), Reddish),
        "the OK text is drawn in blue");
}

// The programmer restarts: the once-a-second poll hears its reset message
// and says so in red, from its own thread.
void CheckResetWatch(Program& p) {
  if (!AskRunner("reset")) {
    Note("no runner to reset the programmer");
    return;
  }
  const bool reported = WaitStatus(p, kResetText, 8000);
  Check(reported, "the reset watch reports the programmer's restart: " + StatusU8(p));
  Pause(300);
  Check(ScreenHasColour(StatusTextArea(p), Reddish), "in red");
}

// The group captions in their colours, drawn by the group boxes themselves.
void CheckCaptionColours(const Program& p) {
  auto caption_area = [&](int id) {
    RECT r = ScreenRect(p.Control(id));
    r.bottom = r.top + 14;
    r.right = r.left + 80;
    return r;
  };
  // RGB(0, 100, 100) smoothed: green and blue equal, red well below.
  auto teal = [](COLORREF c) {
    return GetRValue(c) + 30 < GetGValue(c) && std::abs(GetGValue(c) - GetBValue(c)) <= 12;
  };
  // RGB(0, 100, 255) smoothed: blue at the top, green between.
  auto light_blue = [](COLORREF c) {
    return GetBValue(c) >= 240 && GetRValue(c) + 30 < GetGValue(c) &&
           GetGValue(c) + 30 < GetBValue(c);
  };
  Check(ScreenHasColour(caption_area(ctl::kPortGroup), teal) &&
            !ScreenHasColour(caption_area(ctl::kPortGroup), light_blue),
        "端口 is captioned in teal");
  Check(ScreenHasColour(caption_area(ctl::kOperationGroup), light_blue) &&
            !ScreenHasColour(caption_area(ctl::kOperationGroup), teal),
        "编程操作 is captioned in light blue");
  Check(ScreenHasColour(caption_area(ctl::kStatusGroup), teal), "编程状态 too is teal");
  RECT link = ScreenRect(p.Control(ctl::kWebLink));
  Check(ScreenHasColour(link, Bluish) && !ScreenHasColour(link, Reddish), "the web link is blue");
}

// The web link turns red while pressed; released outside, it opens nothing
// and turns blue again.
void CheckLinkPress(Program& p) {
  HWND link = p.Control(ctl::kWebLink);
  const RECT r = ScreenRect(link);
  Check(Activate(p), "the main window is in front for the link");
  MoveMouse(Centre(link));
  MouseDown();
  Pause(300);
  Check(ScreenHasColour(r, Reddish), "the pressed link is red");
  MoveMouse(POINT{r.right + 40, r.top - 40});
  MouseUp();
  Pause(300);
  Check(ScreenHasColour(r, Bluish) && !ScreenHasColour(r, Reddish),
        "released outside it is blue again");
  Check(p.AnyOtherDialog() == nullptr && IsWindow(p.main()), "and nothing opened");
}

void CheckChipType(Program& p) {
  Click(p.Control(ctl::kChipOtp));
  auto all_grey = [&] {
    for (int id : kMtpOnly)
      if (IsWindowEnabled(p.Control(id))) return false;
    return true;
  };
  Check(WaitFor(all_grey, kEffectMs), "OTP greys the MTP-only controls and 3.3V");
  Check(Checked(p.Control(ctl::kVdd50)) && Text(p.Control(ctl::kVddBox)) == L"5.0",
        "OTP selects 5.0 V");
  Click(p.Control(ctl::kChipMtp));
  Check(WaitFor([&] { return !all_grey() && IsWindowEnabled(p.Control(ctl::kVdd33)); }, kEffectMs),
        "MTP ungreys them");
}

void CheckCounters(Program& p) {
  HWND show = p.Control(ctl::kShowCounters);
  Click(show);
  Check(WaitFor([&] { return RegionHeight(p, 440); }, kEffectMs),
        "unticking 显示计数器 clips the window to 700 x 440");
  Check(ShownBelow(p.Control(ctl::kCountGroup), p.main()),
        "the counter group is still a shown window, only out of sight");
  Shot("counters_hidden", p.main());
  Click(show);
  Check(WaitFor([&] { return RegionHeight(p, 700); }, kEffectMs), "ticking it opens 700 x 700");
  // Both presses of a double-click count: the tick and the region agree.
  DoubleClickAt(Centre(show));
  Pause(kQuietMs);
  Check(Checked(show) && RegionHeight(p, 700),
        "a double-click toggles twice and the region follows both");

  HWND pause = p.Control(ctl::kPauseCounting);
  Click(pause);
  Check(WaitFor([&] { return Text(pause) == L"开始计数"; }, kEffectMs), "pausing: 开始计数");
  Check(!IsWindowEnabled(p.Control(ctl::kPassBox)) && !IsWindowEnabled(p.Control(ctl::kFailBox)),
        "the count boxes grey");
  Click(pause);
  Check(WaitFor([&] { return Text(pause) == L"暂停计数"; }, kEffectMs), "resuming: 暂停计数");
  Check(IsWindowEnabled(p.Control(ctl::kPassBox)), "the count boxes are back");

  Click(p.Control(ctl::kClearCounts));
  HWND confirm = p.WaitForDialog(kConfirmCaption, kEffectMs);
  Check(confirm != nullptr, "清零 asks for confirmation");
  if (confirm != nullptr) {
    Check(DialogMessage(confirm) == kClearText, "the question reads " + U8(DialogMessage(confirm)));
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(GetWindowThreadProcessId(confirm, nullptr), &gui);
    HWND cancel = GetDlgItem(confirm, IDCANCEL);
    Check(gui.hwndFocus == cancel && (StyleOf(cancel) & BS_TYPEMASK) == BS_DEFPUSHBUTTON,
          "Cancel is the default button");
    Check(GetDlgItem(confirm, IDOK) != nullptr && GetDlgItem(confirm, IDYES) == nullptr,
          "the buttons are OK and Cancel");
    Check(AnswerBox(p, confirm, IDOK), "OK closes the confirmation");
  }
  Check(Text(p.Control(ctl::kPassBox)) == L"00000", "the counts read 00000");

  // The counter settings: start value 1234567 keeps its last six digits.
  Click(p.Control(ctl::kCounterSettings));
  HWND dialog = p.WaitForDialog(kCounterDialog, kEffectMs);
  Check(dialog != nullptr, "设置计数器 opens its dialog");
  if (dialog == nullptr) return;
  Check(Checked(GetDlgItem(dialog, 1003)) && Checked(GetDlgItem(dialog, 1001)) &&
            !Checked(GetDlgItem(dialog, 1000)) && !Checked(GetDlgItem(dialog, 1002)) &&
            !Checked(GetDlgItem(dialog, 1004)) && !Checked(GetDlgItem(dialog, 1005)),
        "its boxes show the choices 0x11");
  HWND pass = GetDlgItem(dialog, 1006);
  Check(Text(pass) == L"00000", "it starts from the success count");
  Click(pass);
  PressKey(VK_END);
  for (int i = 0; i < 6; ++i) PressKey(VK_BACK);
  TypeText(L"12x34567");
  Check(WaitFor([&] { return Text(pass) == L"1234567"; }, kEffectMs),
        "the start value takes digits only (" + TextU8(pass) + ")");
  Click(GetDlgItem(dialog, 1000));
  Check(WaitFor([&] { return Checked(GetDlgItem(dialog, 1000)); }, kEffectMs),
        "擦除失败计数 ticked");
  Shot("counter_dialog", dialog);
  Click(GetDlgItem(dialog, IDOK));
  Check(WaitFor([&] { return !IsWindow(dialog); }, kEffectMs) && Activate(p),
        "OK closes the dialog");
  Check(WaitFor([&] { return Text(p.Control(ctl::kPassBox)) == L"234567"; }, kEffectMs),
        "the success box shows 234567");
  Check(Text(p.Control(ctl::kFailBox)) == L"000000", "the failure box shows 000000");
}

void CheckCodeView(Program& p) {
  Click(p.Control(ctl::kShowMemory));
  HWND list = p.Control(ctl::kViewList);
  Check(WaitFor([&] { return ShownBelow(list, p.main()); }, kEffectMs), "the code view shows");
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  Check(header != nullptr && SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) == 17,
        "the list has the ADDR column and 0..F");
  Check(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) >= 16, "and its 16 rows");
  const DWORD extended = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  Check((extended & LVS_EX_GRIDLINES) && (extended & LVS_EX_FULLROWSELECT),
        "grid lines and full-row selection");
  // The page arrives through the worker, which writes the list's cells and
  // the status line through the window surface.
  const bool arrived = WaitForPage(p, 20000);
  Check(arrived, "the page arrives: " + StatusU8(p));
  Check(ListCellText(list, p.pid(), 0, 0) == L"00000" &&
            ListCellText(list, p.pid(), 15, 0) == L"000F0" &&
            ListCellText(list, p.pid(), 0, 1) == L"FF",
        "rows 00000 to 000F0 of the erased programmer memory (" +
            U8(ListCellText(list, p.pid(), 0, 0)) + " " + U8(ListCellText(list, p.pid(), 0, 1)) +
            ")");
  Check(Text(p.Control(ctl::kViewAddress)) == L"00000", "the display address reads 00000");
  Shot("code_view", p.main());
  Click(p.Control(ctl::kBack));
  Check(WaitStatus(p, kChooseOperation), "返 回 leaves the code view");
}

void CheckChecksumGreeting(Program& p) {
  DoubleClickAt(Centre(p.Control(ctl::kChecksumBox)));
  HWND box = p.WaitForDialog(kGreetingCaption, kEffectMs);
  Check(box != nullptr, "a double-click on the checksum box greets the user");
  if (box != nullptr) Check(AnswerBox(p, box, IDOK), "the greeting closes with OK");
}

std::wstring StoredText(const std::wstring& name, DWORD* type) {
  const RegValue v = ReadSetting(name);
  *type = v.type;
  if (!v.present || v.bytes.size() < 2) return L"<missing>";
  std::wstring text(reinterpret_cast<const wchar_t*>(v.bytes.data()), v.bytes.size() / 2);
  // Written with its terminating zero.
  if (text.empty() || text.back() != L'\0') return L"<no terminator>";
  text.pop_back();
  return text;
}

uint32_t StoredWord(const std::wstring& name, DWORD* type) {
  const RegValue v = ReadSetting(name);
  *type = v.type;
  if (!v.present || v.bytes.size() != 4) return 0xDEADBEEF;
  return v.bytes[0] | (v.bytes[1] << 8) | (v.bytes[2] << 16) |
         (static_cast<uint32_t>(v.bytes[3]) << 24);
}

void CheckStoredText(const std::wstring& name, const std::wstring& want) {
  DWORD type = 0;
  const std::wstring got = StoredText(name, &type);
  Check(type == REG_SZ && got == want,
        "stored " + U8(name) + " = \"" + U8(got) + "\" (want \"" + U8(want) + "\", REG_SZ)");
}

void CheckStoredWord(const std::wstring& name, uint32_t want) {
  DWORD type = 0;
  const uint32_t got = StoredWord(name, &type);
  char text[96];
  std::snprintf(text, sizeof text, "stored %s = 0x%X (want 0x%X, REG_DWORD)", U8(name).c_str(), got,
                want);
  Check(type == REG_DWORD && got == want, text);
}

int PhaseFirst(const std::wstring& exe) {
  DeleteSettings();
  Program p;
  if (!p.Start(exe, L"")) {
    Check(false, "zvp.exe starts");
    return 1;
  }
  const bool up = p.WaitForMainWindow(30000);
  Check(up, "the main window comes up");
  if (!up) {
    p.Kill();
    return 1;
  }
  Check(Text(p.main()).find(L"模拟") == std::wstring::npos, "the caption does not say simulated");
  CheckControlTable(p);
  CheckStartState(p);
  CheckFirstStartDefaults(p);
  Shot("main_start", p.main());

  CodeViewBeforePortAndFileShortcut(p);
  Click(p.Control(ctl::kVerifyChip));
  Check(VerifyShowsNoCode(p, "message_box"), "校验芯片 with no code shows message W");
  CheckPressRules(p);

  CheckCaptionColours(p);
  CheckLinkPress(p);
  ConnectCom1(p);
  CheckResetWatch(p);
  CheckChipType(p);
  CheckCounters(p);
  CheckKeysOnCheckBox(p);
  CheckTyping(p);
  CheckChecksumGreeting(p);
  CheckCodeView(p);

  // Choices to be stored: OTP, 12 V.
  Click(p.Control(ctl::kChipOtp));
  Click(p.Control(ctl::kVpp12));
  Check(WaitFor([&] { return Text(p.Control(ctl::kVppBox)) == L"12.0"; }, kEffectMs),
        "12V writes 12.0");
  Shot("main_connected", p.main());
  if (Quit(p) != 0) return 1;

  CheckStoredText(L"com", L"com1");
  CheckStoredText(L"data", L"sam");
  CheckStoredText(L"chip", L"sotp");
  CheckStoredText(L"Vdd", L"5.0V");
  CheckStoredText(L"Vpp", L"12.0V");
  // The MTP-only boxes are greyed for OTP and drop out of the options.
  CheckStoredWord(L"auto", 0x21);
  CheckStoredWord(L"autocount", 0x31);
  CheckStoredWord(L"autofunc", 0x21);
  // A window that never went beyond the four ports nor was started for one
  // writes these eight values and nothing else.
  DWORD values = 0, subkeys = 0;
  const bool read = SettingsKeySize(&values, &subkeys);
  Check(read && values == 8 && subkeys == 0,
        "the key holds the eight values and no key of a port: " + std::to_string(values) +
            " values, " + std::to_string(subkeys) + " keys");
  return 0;
}

int PhaseRestart(const std::wstring& exe) {
  Program p;
  if (!p.Start(exe, L"") || !p.WaitForMainWindow(30000)) {
    Check(false, "the main window comes up again");
    p.Kill();
    return 1;
  }
  const bool connected = WaitStatus(p, kConnectedPrefix + L"COM1", 15000);
  Check(connected, "the saved port connects at start: " + StatusU8(p));
  auto checked = [&](int id) { return Checked(p.Control(id)); };
  Check(checked(ctl::kCom1), "COM1 is selected again");
  Check(checked(ctl::kChipOtp) && !IsWindowEnabled(p.Control(ctl::kEraseMtp)),
        "OTP is back, with the MTP-only controls greyed");
  Check(checked(ctl::kVpp12) && Text(p.Control(ctl::kVppBox)) == L"12.0", "12 V is back");
  Check(checked(ctl::kVdd50) && Text(p.Control(ctl::kVddBox)) == L"5.0", "5.0 V is back");
  Check(checked(ctl::kAutoVerify) && checked(ctl::kAutoReadProtect) &&
            !checked(ctl::kAutoBlankCheck) && !checked(ctl::kAutoLdcProtect) &&
            !checked(ctl::kAutoHwWriteProtect),
        "the options follow the stored 0x21");
  Check(checked(ctl::kShowCounters) && RegionHeight(p, 700), "the counters are shown");
  Check(Text(p.Control(ctl::kPassBox)) == L"00000", "the counts are not stored");

  Click(p.Control(ctl::kCounterSettings));
  HWND dialog = p.WaitForDialog(kCounterDialog, kEffectMs);
  Check(dialog != nullptr, "the counter dialog opens");
  if (dialog != nullptr) {
    Check(Checked(GetDlgItem(dialog, 1000)) && Checked(GetDlgItem(dialog, 1001)) &&
              Checked(GetDlgItem(dialog, 1003)) && !Checked(GetDlgItem(dialog, 1002)),
          "with the stored choices 0x31");
    Click(GetDlgItem(dialog, IDCANCEL));
    Check(WaitFor([&] { return !IsWindow(dialog); }, kEffectMs) && Activate(p), "Cancel closes it");
    Check(Text(p.Control(ctl::kPassBox)) == L"00000", "and changes nothing");
  }
  return Quit(p) == 0 ? 0 : 1;
}

// A raw image of `size` bytes in the temporary folder; its Windows path.
std::wstring WriteImage(const std::wstring& name, size_t size) {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + name;
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  win::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  WriteFile(file.get(), bytes.data(), static_cast<DWORD>(size), &written, nullptr);
  return path;
}

// A long download stopped by a double-click at the start of the status line
// (not by one further in); then a short one that completes, after which
// "校验芯片" no longer meets message W.
void CheckDownload(Program& p) {
  const std::wstring big = WriteImage(L"zvp_window_big.bin", 0x8000);
  const std::wstring small = WriteImage(L"zvp_window_small.bin", 0x100);
  HWND status = p.Control(ctl::kStatusLine);
  const std::wstring progress = L"[双击这里中断下载]";

  if (!ChooseInFileDialog(p, p.Control(ctl::kOpenFile), big, "open_dialog")) return;
  Check(WaitFor([&] { return Text(status).rfind(progress, 0) == 0; }, 20000),
        "the download reports its progress: " + StatusU8(p));
  Check(Text(p.Control(ctl::kFileBox)) == big, "the file box names the file");
  RECT r = ScreenRect(status);
  const LONG middle = (r.top + r.bottom) / 2;
  DoubleClickAt(POINT{r.left + 220, middle});
  Pause(1500);
  Check(Text(status).rfind(progress, 0) == 0,
        "a double-click 200 pixels into the status line lets it run: " + StatusU8(p));
  DoubleClickAt(POINT{r.left + 50, middle});
  const bool stopped = WaitStatus(p, L"下载过程已被用户中断!", 5000);
  Check(stopped, "one at its start stops it: " + StatusU8(p));
  Pause(1000);  // the worker's end steps

  const auto double_click_file_box = [&] { DoubleClickAt(Centre(p.Control(ctl::kFileBox))); };
  if (!ChooseInFileDialog(p, double_click_file_box, small, "")) return;
  const std::wstring sum = L"编程内存检查和 =  ";
  const bool loaded = WaitFor(
      [&] {
        const std::wstring text = Text(status);
        return text.rfind(sum, 0) == 0 && text.size() == sum.size() + 4;
      },
      30000);
  Check(loaded, "the short download ends with the memory checksum: " + StatusU8(p));
  Check(Text(p.Control(ctl::kEndAddress)) == L"00FF" &&
            Text(p.Control(ctl::kChecksumBox)).size() == 4,
        "the range and the checksum box follow the file");
  Pause(1000);
  const std::wstring before = Text(status);
  Click(p.Control(ctl::kVerifyChip));
  Check(p.WaitForDialog(kWarningCaption, 1500) == nullptr,
        "with code in the memory 校验芯片 passes the W guard");
  Check(WaitFor([&] { return Text(status) != before; }, 15000),
        "and the verify reports: " + StatusU8(p));
  Pause(3000);
}

// The about box from the system menu (Alt+Space, then its last entry),
// and the function keys on a focused button: F5 greets, F7 offers to
// initialise the programmer memory.
void CheckMenuAndKeys(Program& p) {
  Check(Activate(p), "the main window is in front for the keys");
  KeyDown(VK_MENU);
  PressKey(VK_SPACE);
  KeyUp(VK_MENU);
  Pause(300);
  // Up from the first entry wraps to the last one: ours. (Wine adds an
  // entry of its own with the same accelerator, so A alone would not do.)
  PressKey(VK_UP);
  Shot("system_menu", p.main());
  PressKey(VK_RETURN);
  HWND about = p.WaitForDialog(kAboutCaption, kEffectMs);
  Check(about != nullptr, "the system menu's last entry opens 关于ZVP V2.20C");
  if (about != nullptr) {
    const std::wstring text = DialogMessage(about);
    Check(text.rfind(L"    ", 0) == 0 && text.find(L"www.zvp-tool.invalid") != std::wstring::npos,
          "the about text names the web address, each line set in by four blanks");
    Shot("about_box", about);
    Check(AnswerBox(p, about, IDOK), "the about box closes with OK");
  }

  // Focus on a button without pressing it: press, drag off, let go.
  HWND settings = p.Control(ctl::kCounterSettings);
  const RECT r = ScreenRect(settings);
  MoveMouse(Centre(settings));
  MouseDown();
  MoveMouse(POINT{r.left - 40, r.top - 40});
  MouseUp();
  Check(p.AnyOtherDialog() == nullptr, "the drag-off opened nothing");
  PressKey(VK_F5);
  HWND greeting = p.WaitForDialog(kGreetingCaption, kEffectMs);
  Check(greeting != nullptr, "F5 on a button greets the user");
  if (greeting != nullptr) Check(AnswerBox(p, greeting, IDOK), "the greeting closes");

  // The focus is back on the button after the box.
  PressKey(VK_F7);
  HWND init = p.WaitForDialog(L"初始化存储器", kEffectMs);
  Check(init != nullptr, "F7 asks before initialising the memory");
  if (init != nullptr) {
    Check(DialogMessage(init) == L"确实要完全擦除当前存储器么?", "with the question");
    Check(AnswerBox(p, init, IDNO), "No closes it");
    Check(WaitStatus(p, L"操作已退出"), "and the status line says 操作已退出");
  }
}

int PhaseSimulate(const std::wstring& exe) {
  // Damaged settings: wrong types, unknown or too long texts.
  DeleteSettings();
  WriteSetting(L"com", REG_DWORD, DwordBytes(1));
  WriteSetting(L"chip", REG_SZ, WideBytes(L"SOTP"));
  WriteSetting(L"Vdd", REG_SZ, WideBytes(L"3.3V and more"));
  WriteSetting(L"Vpp", REG_BINARY, {'1', '2', '.', '0', 'V', 0});
  WriteSetting(L"auto", REG_SZ, WideBytes(L"x"));
  WriteSetting(L"autofunc", REG_QWORD, {0x02, 0, 0, 0, 0, 0, 0, 0});
  WriteSetting(L"autocount", REG_DWORD, DwordBytes(0x3F));

  Program p;
  if (!p.Start(exe, L"--simulate") || !p.WaitForMainWindow(30000)) {
    Check(false, "zvp.exe --simulate comes up");
    p.Kill();
    return 1;
  }
  Check(Text(p.main()).find(L"模拟") != std::wstring::npos,
        "the caption says the programmer is simulated: " + TextU8(p.main()));
  CheckFirstStartDefaults(p);  // every damaged value took its default

  Click(p.Control(ctl::kCom2));
  const bool connected = WaitStatus(p, kConnectedPrefix + L"COM2", 15000);
  Check(connected, "COM2 reaches the built-in programmer: " + StatusU8(p));

  // An operation on the worker: the status line moves on, the window stays
  // responsive, and the cursor comes back.
  const std::wstring before = Text(p.Control(ctl::kStatusLine));
  Click(p.Control(ctl::kBlankCheck));
  Check(WaitFor([&] { return Text(p.Control(ctl::kStatusLine)) != before; }, 15000),
        "芯片空检查 reports on the status line");
  Pause(3000);
  Note("blank check: " + StatusU8(p));

  CheckDownload(p);

  // The code view's edit dialog.
  Click(p.Control(ctl::kShowMemory));
  HWND list = p.Control(ctl::kViewList);
  WaitFor([&] { return ShownBelow(list, p.main()); }, kEffectMs);
  Check(WaitForPage(p, 20000), "the code view shows its page");
  Pause(500);  // the worker's end steps follow the status text
  // Column 6 of row 0, from the tabled widths: 45 + 5 x 26 + 13 across, the
  // middle of the first row below the header.
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  RECT list_rect = ScreenRect(list);
  RECT header_rect = ScreenRect(header);
  POINT target{list_rect.left + 2 + 45 + 5 * 26 + 13, header_rect.bottom + 7};
  DoubleClickAt(target);
  HWND edit = p.WaitForDialog(kEditDialog, kEffectMs);
  Check(edit != nullptr, "a double-click on a byte opens 编辑代码数据");
  if (edit != nullptr) {
    Check(DialogMessage(edit) == L"请输入新值(地址--00005):",
          "the edit dialog names the address: " + U8(DialogMessage(edit)));
    HWND value = GetDlgItem(edit, 500);
    Check(value != nullptr && RectInParent(value).left == 30 && RectInParent(value).top == 60,
          "its value box is control 500 at 30,60");
    PressKey(VK_END);
    for (int i = 0; i < 4; ++i) PressKey(VK_BACK);
    TypeText(L"g5");
    Check(WaitFor([&] { return Text(value) == L"5"; }, kEffectMs),
          "the value box takes hex digits only (" + TextU8(value) + ")");
    Shot("edit_dialog", edit);
    Click(GetDlgItem(edit, IDOK));
    Check(WaitFor([&] { return ListCellText(list, p.pid(), 0, 6) == L"05"; }, kEffectMs),
          "OK puts 05 into the cell");
  }
  Click(p.Control(ctl::kBack));
  WaitStatus(p, kChooseOperation);

  CheckMenuAndKeys(p);

  // Alt+F4 closes through WM_CLOSE, saving the settings.
  Check(Activate(p), "the main window is in front for Alt+F4");
  Chord(VK_MENU, VK_F4);
  const int code = p.WaitForExit(10000);
  Check(code == 0, "Alt+F4 closes the window (exit " + std::to_string(code) + ")");
  if (code < 0) p.Kill();
  CheckStoredText(L"com", L"com2");
  CheckStoredText(L"chip", L"smtp");
  CheckStoredText(L"Vdd", L"5.0V");
  CheckStoredText(L"Vpp", L"VCC");
  CheckStoredWord(L"auto", 0x79);
  CheckStoredWord(L"autocount", 0x3F);
  CheckStoredWord(L"autofunc", 0x21);
  return code == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: window_driver first|restart|simulate ZVP_EXE [SIGNAL_DIR]\n");
    return 2;
  }
  const std::wstring phase = argv[1];
  const std::wstring exe = argv[2];
  if (argc > 3) SetSignalDirectory(argv[3]);
  int status = 2;
  if (phase == L"first") {
    status = PhaseFirst(exe);
  } else if (phase == L"restart") {
    status = PhaseRestart(exe);
  } else if (phase == L"simulate") {
    status = PhaseSimulate(exe);
  } else {
    std::fprintf(stderr, "unknown phase\n");
    return 2;
  }
  std::printf("%s: %d passed, %d failed\n", win::Narrow(phase).c_str(), Passes(), Failures());
  std::fflush(stdout);
  return Failures() == 0 && status == 0 ? 0 : 1;
}
