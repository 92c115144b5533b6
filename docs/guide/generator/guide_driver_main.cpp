// guide_driver: takes the user's guide's pictures from the real window.
// zvp.exe runs under Wine and talks through Wine's COM1 to zvp-sim; the
// driver walks through the guide's chapters with real mouse and keyboard
// input and asks its runner (scripts/guide_pictures.sh) for a screenshot at
// each step the guide shows. Every step is checked before its picture is
// taken, so a picture never shows a window that went wrong.
//
//   guide_driver.exe ZVP_EXE SIGNAL_DIR
//
// Requests to the runner: "shot NAME GEOMETRY" and "sim LINE" (a control
// line for the simulator). Exits 0 when every step held.

#include <cstdio>
#include <string>
#include <vector>

#include "tests/wine/driver_steps.h"
#include "tests/wine/window_driver.h"
#include "core/control_ids.h"
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
// `shot` names one.
void AnswerDialog(const Program& p, const std::wstring& caption, int button,
                  const std::string& shot) {
  HWND box = p.WaitForDialog(caption, kEffectMs);
  Check(box != nullptr, "the box " + U8(caption) + " shows");
  if (box == nullptr) return;
  if (!shot.empty()) Shot(shot, box);
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

// --- the chapters ---------------------------------------------------------

void ConnectChapter(Program& p) {
  Shot("start", p.main());
  Press(p, ctl::kCom2);
  Check(WaitStatus(p, kConnectError, 15000), "COM2 leads nowhere: " + StatusU8(p));
  Check(!AnswerConnectionBox(p, L"COM2").empty(), "a box says why");
  Shot("connect_error", p.main());
  Press(p, ctl::kCom1);
  Check(WaitStatus(p, kConnectedPrefix + L"COM1", 15000), "COM1 connects: " + StatusU8(p));
  Shot("connected", p.main());
  // The dialog of the other ports, left with Cancel.
  if (HWND dialog = OpenPortDialog(p, "")) {
    Shot("port_dialog", dialog);
    Check(AnswerBox(p, dialog, IDCANCEL), "the dialog of the other ports closes with Cancel");
  }
}

void DownloadChapter(Program& p, const CodeFile& file) {
  Press(p, ctl::kOpenFile);
  ChooseInFileDialog(p, file.path, "open_dialog");
  Expect(p, L"编程内存检查和 =  " + Hex4(file.sum), "the download ends with the file's checksum");
  Shot("downloaded", p.main());
}

void AutoProgramChapter(Program& p) {
  Press(p, ctl::kBlankCheck);
  Expect(p, L"芯片是空的", "the new chip is blank");
  Shot("blank_check", p.main());

  Press(p, ctl::kAutoProgram);
  Expect(p, L"自动编程已成功完成", "auto-programming passes");
  Check(WaitFor([&] { return Text(p.Control(ctl::kPassBox)) == L"000001"; }, kEffectMs),
        "the success count reads 000001");
  Shot("auto_pass", p.main());

  // The same chip again with the blank check: it is no longer blank.
  SetTick(p, ctl::kAutoBlankCheck, true);
  Press(p, ctl::kAutoProgram);
  Expect(p, L"芯片不空", "the programmed chip fails the blank check");
  Check(WaitFor([&] { return Text(p.Control(ctl::kFailBox)) == L"00001"; }, kEffectMs),
        "the failure count reads 00001");
  Shot("auto_fail", p.main());
  SetTick(p, ctl::kAutoBlankCheck, false);

  Press(p, ctl::kCounterSettings);
  AnswerDialog(p, kCounterDialog, IDCANCEL, "counter_dialog");
}

void OfflineMasterChapter(Program& p) {
  Press(p, ctl::kOfflineMaster);
  AnswerDialog(p, L"操作提示", IDYES, "offline_ask");
  Expect(p, L"脱机编程母片制作成功", "the offline master is made");
  Shot("offline_done", p.main());
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
  Shot("chip_checksum", p.main());
  Press(p, ctl::kVerifyChip);
  Expect(p, L"校验芯片成功", "the chip verifies");
  Shot("verify", p.main());

  Press(p, ctl::kCopyChip);
  AnswerDialog(p, L"警 告", IDYES, "copy_ask");
  Expect(p, L"拷贝芯片数据检查和 =  ", "the chip is copied into the programmer memory");

  const std::wstring saved = Folder() + L"chip.hex";
  DeleteFileW(saved.c_str());
  Press(p, ctl::kSaveHex);
  ChooseInFileDialog(p, saved, "save_dialog");
  Expect(p, L"代码文件文件已成功保存在: ", "the HEX file is saved");
  Shot("saved", p.main());
  SetTick(p, ctl::kAutoReadProtect, true);
}

void CodeViewChapter(Program& p) {
  Press(p, ctl::kShowMemory);
  Check(WaitForPage(p, 20000), "the code view shows its first page");
  Pause(500);
  Shot("code_view", p.main());
  Press(p, ctl::kBack);
  Check(WaitStatus(p, kChooseOperation), "返 回 goes back");

  // In debug mode a double-click on a byte opens the edit dialog.
  SetTick(p, ctl::kDebugMode, true);
  Press(p, ctl::kShowMemory);
  Check(WaitForPage(p, 20000), "the debug-mode view shows the buffer");
  Pause(500);
  DoubleClickAt(FirstRowCell(p, 3));
  HWND edit = p.WaitForDialog(kEditDialog, kEffectMs);
  Check(edit != nullptr, "a double-click on a byte opens 编辑代码数据");
  if (edit == nullptr) return;
  PressKey(VK_END);
  PressKey(VK_BACK);
  PressKey(VK_BACK);
  TypeText(L"a5");
  Check(WaitFor([&] { return Text(GetDlgItem(edit, 500)) == L"A5"; }, kEffectMs), "A5 typed");
  Shot("edit_dialog", edit);
  Click(GetDlgItem(edit, IDOK));
  Check(WaitFor([&] { return !IsWindow(edit); }, kEffectMs) && Activate(p), "OK closes it");
  Check(WaitFor([&] {
          return ListCellText(p.Control(ctl::kViewList), p.pid(), 0, 3) == L"A5";
        }, kEffectMs),
        "the byte reads A5");
  Shot("code_view_edited", p.main());
  Press(p, ctl::kBack);
  Check(WaitStatus(p, kChooseOperation), "返 回 goes back");
  SetTick(p, ctl::kDebugMode, false);
}

void ResetChapter(Program& p) {
  Check(AskRunner("sim reset"), "the programmer restarts");
  Check(WaitStatus(p, kResetText, 10000), "the reset is reported: " + StatusU8(p));
  Shot("reset", p.main());
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
  }
  std::printf("guide pictures: %d passed, %d failed\n", Passes(), Failures());
  std::fflush(stdout);
  return Failures() == 0 ? 0 : 1;
}
