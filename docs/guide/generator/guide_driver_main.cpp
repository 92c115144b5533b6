// guide_driver: takes the user's guide's pictures from the real window.
// zvp.exe runs under Wine and talks through Wine's COM1 to zvp-sim; the
// driver walks through the guide's chapters with real mouse and keyboard
// input and asks its runner (scripts/guide_pictures.sh) for a screenshot at
// each step the guide shows. Every step is checked before its picture is
// taken, so a picture never shows a window that went wrong.
//
//   guide_driver.exe ZVP_EXE SIGNAL_DIR
//
// Requests to the runner: "shot NAME GEOMETRY [MARKS]" and "sim LINE" (a
// control line for the simulator). MARKS are the rectangles of the controls
// the guide's text talks about at that picture, "left,top,right,bottom;..."
// in the picture's own pixels; the runner numbers them 1, 2, ... in this
// order, so the marks always sit where the controls really are. Exits 0 when
// every step held.

#include <cstdio>
#include <string>
#include <vector>

#include "tests/wine/driver_steps.h"
#include "tests/wine/window_driver.h"
#include "ui/control_ids.h"
#include "windows/handles.h"
#include "windows/wide_text.h"

namespace {

using namespace zvp;
using namespace zvp::driver;
namespace ctl = zvp::ctl;

constexpr int kOperationMs = 60000;

// --- the code file --------------------------------------------------------

// The folder the program starts in: its file dialogs show it first.
std::wstring Folder() {
  wchar_t folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, folder);
  std::wstring path = folder;
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  return path;
}

// 2 KiB that look like a program, as an Intel HEX file of 16-byte records.
struct CodeFile {
  std::wstring path;
  uint16_t sum = 0;
};

CodeFile WriteCodeFile() {
  std::string text;
  uint32_t x = 2026, sum = 0;
  char line[80];
  for (unsigned at = 0; at < 0x800; at += 16) {
    unsigned record = 16 + (at >> 8) + (at & 0xFF);
    int used = std::snprintf(line, sizeof line, ":10%04X00", at);
    for (int i = 0; i < 16; ++i) {
      x = x * 1103515245u + 12345u;
      const unsigned b = (x >> 16) & 0xFF;
      sum += b;
      record += b;
      used += std::snprintf(line + used, sizeof line - used, "%02X", b);
    }
    std::snprintf(line + used, sizeof line - used, "%02X\r\n", (0x100 - (record & 0xFF)) & 0xFF);
    text += line;
  }
  text += ":00000001FF\r\n";

  CodeFile file{Folder() + L"demo.hex", static_cast<uint16_t>(sum)};
  win::UniqueHandle out(CreateFileW(file.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  const bool ok = out && WriteFile(out.get(), text.data(), static_cast<DWORD>(text.size()),
                                   &written, nullptr) &&
                  written == text.size();
  Check(ok, "the demonstration code file is written");
  return file;
}

std::wstring Hex4(uint32_t value) {
  wchar_t text[8];
  std::swprintf(text, 8, L"%04X", value);
  return text;
}

// --- marked pictures -------------------------------------------------------

// What one mark points at: a control's rectangle on the screen.
using Marks = std::vector<RECT>;

RECT Around(HWND control) {
  Check(control != nullptr && IsWindowVisible(control),
        "a marked control is on the screen: " + TextU8(control));
  return ScreenRect(control);
}

// The smallest rectangle around several, marked as one.
RECT Union(const std::vector<RECT>& rects) {
  RECT all = rects.empty() ? RECT{} : rects.front();
  for (const RECT& r : rects) UnionRect(&all, &all, &r);
  return all;
}

RECT Around(std::initializer_list<HWND> controls) {
  std::vector<RECT> rects;
  for (HWND c : controls) rects.push_back(Around(c));
  return Union(rects);
}

RECT Around(const Program& p, int id) { return Around(p.Control(id)); }
RECT Around(const Program& p, std::initializer_list<int> ids) {
  std::vector<RECT> rects;
  for (int id : ids) rects.push_back(Around(p, id));
  return Union(rects);
}

// A picture of `window` with its marks, in the window's own pixels.
void MarkedShot(const std::string& name, HWND window, const Marks& marks) {
  Pause(300);  // let the window finish drawing
  const RECT w = ScreenRect(window);
  char geometry[64];
  std::snprintf(geometry, sizeof geometry, "%ldx%ld+%ld+%ld", w.right - w.left, w.bottom - w.top,
                w.left, w.top);
  std::string request = "shot " + name + " " + geometry + " ";
  for (size_t i = 0; i < marks.size(); ++i) {
    char one[64];
    std::snprintf(one, sizeof one, "%s%ld,%ld,%ld,%ld", i ? ";" : "", marks[i].left - w.left,
                  marks[i].top - w.top, marks[i].right - w.left, marks[i].bottom - w.top);
    request += one;
  }
  if (!AskRunner(request)) Note("no screenshot " + name + " (no runner answered)");
}

// The main window's caption text: the caption bar without the three window
// buttons at its right end (about 20 pixels each), which the mark's number
// would otherwise hide.
RECT CaptionText(const Program& p) {
  const RECT w = ScreenRect(p.main());
  POINT client{0, 0};
  ClientToScreen(p.main(), &client);
  const int buttons = 3 * GetSystemMetrics(SM_CXSIZE) + 8;
  return RECT{w.left + 3, w.top + 3, w.right - buttons, client.y - 1};
}

// --- steps ----------------------------------------------------------------

bool StatusStartsWith(const Program& p, const std::wstring& prefix, int ms) {
  return WaitFor([&] { return Text(p.Control(ctl::kStatusLine)).rfind(prefix, 0) == 0; }, ms);
}

// Waits for the status text `prefix`, then the worker's end steps.
void Expect(const Program& p, const std::wstring& prefix, const std::string& what,
            int ms = kOperationMs) {
  const bool ok = StatusStartsWith(p, prefix, ms);
  Check(ok, what + ": " + StatusU8(p));
  Pause(500);
}

void SetTick(const Program& p, int id, bool on) {
  if (Checked(p.Control(id)) == on) return;
  Click(p.Control(id));
  Check(WaitFor([&] { return Checked(p.Control(id)) == on; }, kEffectMs),
        "box " + std::to_string(id) + (on ? " ticked" : " unticked"));
}

void Press(const Program& p, int id) {
  Click(p.Control(id));
}

// Answers the box with this caption with `button`, after its picture when
// `shot` names one; the picture marks the controls `marked` (ids in the box).
void AnswerDialog(const Program& p, const std::wstring& caption, int button,
                  const std::string& shot, std::initializer_list<int> marked = {}) {
  HWND box = p.WaitForDialog(caption, kEffectMs);
  Check(box != nullptr, "the box " + U8(caption) + " shows");
  if (box == nullptr) return;
  if (!shot.empty()) {
    Marks marks;
    for (int id : marked) marks.push_back(Around(GetDlgItem(box, id)));
    MarkedShot(shot, box, marks);
  }
  Check(AnswerBox(p, box, button), "the box " + U8(caption) + " is answered");
}

// The middle of a byte cell of the code view's first row (ADDR is 45 pixels
// wide, each byte column 26).
POINT FirstRowCell(const Program& p, int column) {
  HWND list = p.Control(ctl::kViewList);
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  const RECT l = ScreenRect(list);
  const RECT h = ScreenRect(header);
  return POINT{l.left + 2 + 45 + (column - 1) * 26 + 13, h.bottom + 7};
}

// A file dialog (open or save) opened from the operation worker, pictured
// with its name field and its open or save button marked; the name typed
// into it is taken.
void ChooseFile(Program& p, const std::wstring& path, const std::string& shot) {
  HWND dialog = nullptr;
  WaitFor([&] { return (dialog = p.AnyOtherDialog()) != nullptr; }, 30000);
  Check(dialog != nullptr, "the file dialog shows: " + TextU8(dialog));
  if (dialog == nullptr) return;
  Pause(500);
  // The name field is a combo box (cmb13) in the dialogs Wine draws, an
  // edit box (edt1) in older ones.
  HWND name = GetDlgItem(dialog, 0x47C);
  if (name == nullptr || !IsWindowVisible(name)) name = GetDlgItem(dialog, 0x480);
  MarkedShot(shot, dialog, {Around(name), Around(GetDlgItem(dialog, IDOK))});
  TypeText(path);
  PressKey(VK_RETURN);
  const bool taken = WaitFor([&] { return !IsWindow(dialog); }, kEffectMs);
  Check(taken, "it takes the typed name");
  Check(taken && Activate(p), "the main window is in front again");
}

// --- the chapters ---------------------------------------------------------
// Each picture's marks are listed in the order the guide numbers them.

void ConnectChapter(Program& p) {
  MarkedShot("start", p.main(), {Around(p, ctl::kPortGroup), Around(p, ctl::kStatusLine)});
  Press(p, ctl::kCom2);
  Check(WaitStatus(p, kConnectError, 15000), "COM2 leads nowhere: " + StatusU8(p));
  Check(!AnswerConnectionBox(p, L"COM2").empty(), "a box says why");
  MarkedShot("connect_error", p.main(), {Around(p, ctl::kCom2), Around(p, ctl::kStatusLine)});
  Press(p, ctl::kCom1);
  Check(WaitStatus(p, kConnectedPrefix + L"COM1", 15000), "COM1 connects: " + StatusU8(p));
  MarkedShot("connected", p.main(), {Around(p, ctl::kCom1), Around(p, ctl::kStatusLine)});
  // The dialog of the other ports, left with Cancel.
  if (HWND dialog = OpenPortDialog(p, "")) {
    Shot("port_dialog", dialog);
    Check(AnswerBox(p, dialog, IDCANCEL), "the dialog of the other ports closes with Cancel");
  }
}

void DownloadChapter(Program& p, const CodeFile& file) {
  Press(p, ctl::kOpenFile);
  ChooseFile(p, file.path, "open_dialog");
  Expect(p, L"编程内存检查和 =  " + Hex4(file.sum), "the download ends with the file's checksum");
  MarkedShot("downloaded", p.main(),
             {Around(p, ctl::kFileBox), Around(p, {ctl::kStartAddress, ctl::kEndAddress}),
              Around(p, ctl::kChecksumBox), Around(p, ctl::kStatusLine)});
  // The choices to look at after every start, in the state the first
  // chip is programmed with (the defaults).
  MarkedShot("options", p.main(),
             {Around(p, ctl::kChipTypeGroup), Around(p, ctl::kVppGroup),
              Around(p, ctl::kVccGroup), Around(p, ctl::kOptionGroup),
              Around(p, ctl::kBuzzer)});
}

void AutoProgramChapter(Program& p) {
  Press(p, ctl::kBlankCheck);
  Expect(p, L"芯片是空的", "the new chip is blank");
  MarkedShot("blank_check", p.main(), {Around(p, ctl::kBlankCheck), Around(p, ctl::kStatusLine)});

  Press(p, ctl::kAutoProgram);
  Expect(p, L"自动编程已成功完成", "auto-programming passes");
  Check(WaitFor([&] { return Text(p.Control(ctl::kPassBox)) == L"000001"; }, kEffectMs),
        "the success count reads 000001");
  MarkedShot("auto_pass", p.main(),
             {Around(p, ctl::kAutoProgram), Around(p, ctl::kStatusLine), Around(p, ctl::kPassBox)});

  // With the default options the chip is read-protected now: a spot check
  // of it fails.
  Check(Checked(p.Control(ctl::kAutoReadProtect)), "自动读保护 is ticked, as at every start");
  Press(p, ctl::kVerifyChip);
  Expect(p, L"校验芯片失败! 在地址: 00000", "the read-protected chip fails the verify");
  MarkedShot("verify_protected", p.main(),
             {Around(p, ctl::kAutoReadProtect), Around(p, ctl::kVerifyChip),
              Around(p, ctl::kStatusLine)});

  // The same chip again with the blank check: it is no longer blank.
  SetTick(p, ctl::kAutoBlankCheck, true);
  Press(p, ctl::kAutoProgram);
  Expect(p, L"芯片不空", "the programmed chip fails the blank check");
  Check(WaitFor([&] { return Text(p.Control(ctl::kFailBox)) == L"00001"; }, kEffectMs),
        "the failure count reads 00001");
  MarkedShot("auto_fail", p.main(),
             {Around(p, ctl::kAutoBlankCheck), Around(p, ctl::kStatusLine),
              Around(p, ctl::kFailBox)});
  SetTick(p, ctl::kAutoBlankCheck, false);

  Press(p, ctl::kCounterSettings);
  HWND box = p.WaitForDialog(kCounterDialog, kEffectMs);
  Check(box != nullptr, "the counter dialog shows");
  if (box == nullptr) return;
  auto item = [&](int id) { return GetDlgItem(box, id); };
  MarkedShot("counter_dialog", box,
             {Around({item(1000), item(1001), item(1002), item(1003), item(1004), item(1005)}),
              Around({item(1006), item(1007)}), Around(item(IDOK))});
  Check(AnswerBox(p, box, IDCANCEL), "the counter dialog is cancelled");
}

void OfflineMasterChapter(Program& p) {
  Press(p, ctl::kOfflineMaster);
  AnswerDialog(p, L"操作提示", IDYES, "offline_ask", {IDYES});
  Expect(p, L"脱机编程母片制作成功", "the offline master is made");
  MarkedShot("offline_done", p.main(),
             {Around(p, ctl::kOfflineMaster), Around(p, ctl::kStatusLine)});
}

// A fresh chip programmed without read protection, so that it can be read
// back: its checksum, a verify, a copy into the programmer memory and a HEX
// file of that memory.
void ReadBackChapter(Program& p, const CodeFile& file) {
  std::string reply;
  Check(AskRunner("sim new-chip", &reply), "a new chip goes into the socket");
  SetTick(p, ctl::kAutoReadProtect, false);
  Press(p, ctl::kAutoProgram);
  Expect(p, L"自动编程已成功完成", "the chip is programmed without read protection");

  Press(p, ctl::kChipChecksum);
  Expect(p, L"芯片检查和 =  " + Hex4(file.sum), "the chip's checksum is the file's");
  MarkedShot("chip_checksum", p.main(),
             {Around(p, ctl::kAutoReadProtect), Around(p, ctl::kChipChecksum),
              Around(p, ctl::kStatusLine), Around(p, ctl::kChecksumBox)});
  Press(p, ctl::kVerifyChip);
  Expect(p, L"校验芯片成功", "the chip verifies");
  MarkedShot("verify", p.main(),
             {Around(p, ctl::kAutoReadProtect), Around(p, ctl::kVerifyChip),
              Around(p, ctl::kStatusLine)});

  Press(p, ctl::kCopyChip);
  AnswerDialog(p, L"警 告", IDYES, "copy_ask", {IDYES});
  Expect(p, L"拷贝芯片数据检查和 =  ", "the chip is copied into the programmer memory");

  const std::wstring saved = Folder() + L"chip.hex";
  DeleteFileW(saved.c_str());
  Press(p, ctl::kSaveHex);
  ChooseFile(p, saved, "save_dialog");
  Expect(p, L"代码文件文件已成功保存在: ", "the HEX file is saved");
  MarkedShot("saved", p.main(), {Around(p, ctl::kSaveHex), Around(p, ctl::kStatusLine)});
  SetTick(p, ctl::kAutoReadProtect, true);
}

void CodeViewChapter(Program& p) {
  Press(p, ctl::kShowMemory);
  Check(WaitForPage(p, 20000), "the code view shows its first page");
  Pause(500);
  MarkedShot("code_view", p.main(),
             {Around(p, {ctl::kPrevPage, ctl::kNextPage}),
              Around(p, {ctl::kViewAddress, ctl::kViewSet}),
              Around(p, {ctl::kViewMemory, ctl::kViewChip}), Around(p, ctl::kViewAscii),
              Around(p, ctl::kBack), Around(p, ctl::kStatusLine)});
  Press(p, ctl::kBack);
  Check(WaitStatus(p, kChooseOperation), "返 回 goes back");

  // In debug mode a double-click on a byte opens the edit dialog.
  SetTick(p, ctl::kDebugMode, true);
  Press(p, ctl::kShowMemory);
  Check(WaitForPage(p, 20000), "the debug-mode view shows the buffer");
  Pause(500);
  const POINT cell = FirstRowCell(p, 3);
  DoubleClickAt(cell);
  HWND edit = p.WaitForDialog(kEditDialog, kEffectMs);
  Check(edit != nullptr, "a double-click on a byte opens 编辑代码数据");
  if (edit == nullptr) return;
  PressKey(VK_END);
  PressKey(VK_BACK);
  PressKey(VK_BACK);
  TypeText(L"a5");
  Check(WaitFor([&] { return Text(GetDlgItem(edit, 500)) == L"A5"; }, kEffectMs), "A5 typed");
  MarkedShot("edit_dialog", edit, {Around(GetDlgItem(edit, 500)), Around(GetDlgItem(edit, IDOK))});
  Click(GetDlgItem(edit, IDOK));
  Check(WaitFor([&] { return !IsWindow(edit); }, kEffectMs) && Activate(p), "OK closes it");
  Check(WaitFor([&] {
          return ListCellText(p.Control(ctl::kViewList), p.pid(), 0, 3) == L"A5";
        }, kEffectMs),
        "the byte reads A5");
  // The cell: a byte column is 26 pixels wide, a row about 16 high.
  MarkedShot("code_view_edited", p.main(),
             {RECT{cell.x - 13, cell.y - 8, cell.x + 13, cell.y + 8}});
  Press(p, ctl::kBack);
  Check(WaitStatus(p, kChooseOperation), "返 回 goes back");
  SetTick(p, ctl::kDebugMode, false);
}

// After everything else, so that no earlier picture shows a window whose
// code is gone; the counts it shows are those of the chapters before.
void ResetChapter(Program& p) {
  Check(AskRunner("sim reset"), "the programmer restarts");
  Check(WaitStatus(p, kResetText, 10000), "the reset is reported: " + StatusU8(p));
  MarkedShot("reset", p.main(),
             {Around(p, ctl::kStatusLine), Around(p, ctl::kChecksumBox), Around(p, ctl::kDownload)});
}

// The window with its built-in virtual programmer: the caption says so.
void SimulatedChapter(const wchar_t* exe) {
  Program s;
  if (!s.Start(exe, L"--simulate") || !s.WaitForMainWindow(30000)) {
    Check(false, "zvp.exe --simulate comes up");
    s.Kill();
    return;
  }
  Check(Text(s.main()).find(L"[模拟运行: 内置虚拟编程器]") != std::wstring::npos,
        "the caption says the programmer is simulated: " + TextU8(s.main()));
  Check(WaitStatus(s, kConnectedPrefix + L"COM1", 15000),
        "the saved port connects to the built-in programmer: " + StatusU8(s));
  MarkedShot("simulated", s.main(), {CaptionText(s), Around(s, ctl::kStatusLine)});
  Quit(s);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: guide_driver ZVP_EXE SIGNAL_DIR\n");
    return 2;
  }
  SetSignalDirectory(argv[2]);
  DeleteSettings();
  const CodeFile file = WriteCodeFile();

  Program p;
  if (!p.Start(argv[1], L"") || !p.WaitForMainWindow(30000)) {
    Check(false, "zvp.exe comes up");
    p.Kill();
  } else {
    ConnectChapter(p);
    DownloadChapter(p, file);
    AutoProgramChapter(p);
    OfflineMasterChapter(p);
    ReadBackChapter(p, file);
    CodeViewChapter(p);
    ResetChapter(p);
    Quit(p);
    SimulatedChapter(argv[1]);
  }
  std::printf("guide pictures: %d passed, %d failed\n", Passes(), Failures());
  std::fflush(stdout);
  return Failures() == 0 ? 0 : 1;
}
