// journey_driver: a technician's day with zvp.exe under Wine, which talks
// through Wine's COM1 to zvp-sim on a pseudo-terminal (the real serial path).
// Real mouse and keyboard input; the runner (run_journey.sh) steers the
// simulator on request. Two phases, one per call:
//
//   journey_driver.exe journey     ZVP_EXE SIGNAL_DIR
//       open a HEX file, download, auto-program, a failing chip, the code
//       view, a byte edited in debug mode and programmed, save and reload a
//       HEX file, an offline master, a programmer reset, the programmer
//       pulled away mid-download and brought back
//   journey_driver.exe anyport     ZVP_EXE SIGNAL_DIR
//       COM7 (zvp-sim, as behind COM1) chosen through the system menu's
//       dialog, downloaded to and auto-programmed, and back after a restart;
//       then a bench of two windows started with --port COM5 (a second
//       zvp-sim) and --port COM7, each with its own choices after a restart;
//       on the way the three ways a connection fails (COM9 missing, COM5
//       held by the other window, a silent programmer)
//   journey_driver.exe reliability ZVP_EXE SIGNAL_DIR RUNS
//       RUNS auto-program runs, each with a fault the simulator draws
//
// Requests to the runner ("ASK ..." lines): "sim LINE" hands LINE to the
// simulator and answers with its reply line; "pull" stops the simulator
// (its terminal closes); "return" starts a new one behind COM1; "shot".
// Exits 0 when every check held.

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "tests/wine/driver_steps.h"
#include "tests/wine/window_driver.h"
#include "core/protocol.h"
#include "ui/control_ids.h"
#include "windows/handles.h"
#include "windows/resource.h"
#include "windows/wide_text.h"

namespace {

using namespace zvp;
using namespace zvp::driver;
namespace ctl = zvp::ctl;

const std::wstring kAutoPassed = L"自动编程已成功完成";
const std::wstring kVoltageCaption = L"警  告";
const std::wstring kSumPrefix = L"编程内存检查和 =  ";
const std::wstring kSectionPrefix = L"当前显示代码区段:  ";

// --- files ----------------------------------------------------------------

std::wstring TempPath(const std::wstring& name) {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + name;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  win::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  if (FILE* f = _wfopen(path.c_str(), L"rb")) {
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
    fclose(f);
  }
  return bytes;
}

// Code that looks like a program: every byte value occurs, printable ones
// included (so the ASCII view has letters to show).
std::vector<uint8_t> MakeCode(size_t size, uint32_t seed) {
  std::vector<uint8_t> code(size);
  uint32_t x = seed;
  for (auto& b : code) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return code;
}

// An Intel HEX file written here, independently of the program's writer:
// 16-byte data records and the end record.
std::string HexText(const std::vector<uint8_t>& code) {
  std::string text;
  char line[80];
  for (size_t at = 0; at < code.size(); at += 16) {
    const size_t n = std::min<size_t>(16, code.size() - at);
    unsigned sum = static_cast<unsigned>(n + (at >> 8) + (at & 0xFF));
    int used = std::snprintf(line, sizeof line, ":%02X%04X00", static_cast<unsigned>(n),
                             static_cast<unsigned>(at));
    for (size_t i = 0; i < n; ++i) {
      used += std::snprintf(line + used, sizeof line - used, "%02X", code[at + i]);
      sum += code[at + i];
    }
    std::snprintf(line + used, sizeof line - used, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    text += line;
  }
  text += ":00000001FF\r\n";
  return text;
}

// Reads an Intel HEX file into a 1 MiB image of 0xFF; false on a malformed
// record or a wrong record checksum. The program's files have no end record
// (they end with their last data record), so none is required. `top` gets
// one past the last address.
bool ParseHex(const std::string& text, std::vector<uint8_t>* image, size_t* top) {
  image->assign(0x100000, 0xFF);
  *top = 0;
  uint32_t base = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty()) continue;
    if (line[0] != ':' || line.size() < 11) return false;
    const size_t n = std::strtoul(line.substr(1, 2).c_str(), nullptr, 16);
    if (line.size() != 11 + 2 * n) return false;
    unsigned sum = 0;
    for (size_t i = 1; i + 1 < line.size(); i += 2)
      sum += std::strtoul(line.substr(i, 2).c_str(), nullptr, 16);
    if ((sum & 0xFF) != 0) return false;
    const uint32_t offset = std::strtoul(line.substr(3, 4).c_str(), nullptr, 16);
    const unsigned type = std::strtoul(line.substr(7, 2).c_str(), nullptr, 16);
    if (type == 0) {
      for (size_t i = 0; i < n; ++i) {
        const uint32_t a = base + offset + static_cast<uint32_t>(i);
        if (a >= image->size()) return false;
        (*image)[a] =
            static_cast<uint8_t>(std::strtoul(line.substr(9 + 2 * i, 2).c_str(), nullptr, 16));
        *top = std::max<size_t>(*top, a + 1);
      }
    } else if (type == 1) {
      return true;
    } else if (type == 2 && n == 2) {
      base = static_cast<uint32_t>(std::strtoul(line.substr(9, 4).c_str(), nullptr, 16)) << 4;
    } else if (type == 4 && n == 2) {
      base = static_cast<uint32_t>(std::strtoul(line.substr(9, 4).c_str(), nullptr, 16)) << 16;
    }
  }
  return true;
}

uint16_t Sum16(const std::vector<uint8_t>& code) {
  uint32_t sum = 0;
  for (uint8_t b : code) sum += b;
  return static_cast<uint16_t>(sum);
}

std::wstring Hex(uint32_t value, int digits) {
  wchar_t text[16];
  std::swprintf(text, 16, L"%0*X", digits, value);
  return text;
}

// --- the simulator --------------------------------------------------------

// A control line for the simulator; its reply line ("" when none came).
std::string Sim(const std::string& line) {
  std::string reply;
  if (!AskRunner("sim " + line, &reply)) return "";
  return reply;
}

// The simulator writes a 32 KiB dump into the signal directory.
std::string SimDump(const std::string& what, const std::string& name) {
  Sim(what + " " + name);
  return ReadBytes(SignalDirectory() + L"\\" + win::Widen(name));
}

// --- the window -----------------------------------------------------------

// The main window takes a message from outside within two seconds: the UI
// thread is not blocked.
bool Answers(const Program& p) {
  DWORD_PTR result = 0;
  return IsWindow(p.main()) &&
         SendMessageTimeoutW(p.main(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &result) != 0;
}

bool StatusRed(const Program& p) {
  Pause(250);
  return ScreenHasColour(StatusTextArea(p), Reddish) && !ScreenHasColour(StatusTextArea(p), Bluish);
}

bool StatusBlue(const Program& p) {
  Pause(250);
  return ScreenHasColour(StatusTextArea(p), Bluish) && !ScreenHasColour(StatusTextArea(p), Reddish);
}

std::wstring Box(const Program& p, int id) {
  return Text(p.Control(id));
}

void SetTick(Program& p, int id, bool on) {
  if (Checked(p.Control(id)) == on) return;
  Click(p.Control(id));
  Check(WaitFor([&] { return Checked(p.Control(id)) == on; }, kEffectMs),
        "box " + std::to_string(id) + (on ? " ticked" : " unticked"));
}

// Replaces the text of an edit box by typing, as a user would.
void Retype(Program& p, int id, const std::wstring& text) {
  HWND box = p.Control(id);
  Click(box);
  PressKey(VK_END);
  for (int i = 0; i < 12; ++i) PressKey(VK_BACK);
  TypeText(text);
  WaitFor([&] { return Text(box) == text; }, kEffectMs);
}

bool WaitChecksum(const Program& p, uint16_t want, int ms) {
  const std::wstring text = kSumPrefix + Hex(want, 4);
  return WaitFor([&] { return StatusIs(p, text) && Box(p, ctl::kChecksumBox) == Hex(want, 4); },
                 ms);
}

bool Connect(Program& p) {
  Click(p.Control(ctl::kCom1));
  return WaitStatus(p, kConnectedPrefix + L"COM1", 15000);
}

// "打开文件", the file dialog, and the download that follows.
bool OpenAndDownload(Program& p, const std::wstring& path, uint16_t sum, const std::string& shot) {
  if (!ChooseInFileDialog(p, p.Control(ctl::kOpenFile), path, shot)) return false;
  const bool done = WaitChecksum(p, sum, 60000);
  Check(done, "the download ends with the checksum " + U8(Hex(sum, 4)) + ": " + StatusU8(p));
  Pause(500);  // the worker's end steps follow the status text
  return done;
}

void PressAuto(Program& p) {
  Click(p.Control(ctl::kAutoProgram));
}

// `got` (a dump) starts with the bytes of `want`.
bool SameBytes(const std::vector<uint8_t>& want, const std::string& got) {
  return got.size() >= want.size() &&
         std::equal(want.begin(), want.end(), got.begin(),
                    [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); });
}

// --- the code view --------------------------------------------------------

HWND List(const Program& p) {
  return p.Control(ctl::kViewList);
}

std::wstring Cell(const Program& p, int row, int column) {
  return ListCellText(List(p), p.pid(), row, column);
}

// The page's section text and box, then its 16 x 16 cells against `expect`
// (hexadecimal, or ASCII with empty cells outside 0x21..0x7E).
bool PageShows(const Program& p, uint32_t address, const std::vector<uint8_t>& expect, bool ascii,
               std::string* why) {
  const std::wstring section = kSectionPrefix + Hex(address, 5) + L"~" + Hex(address + 255, 5);
  if (!StatusIs(p, section)) {
    *why = "status " + StatusU8(p);
    return false;
  }
  if (Box(p, ctl::kViewAddress) != Hex(address, 5)) {
    *why = "address box " + TextU8(p.Control(ctl::kViewAddress));
    return false;
  }
  for (int row = 0; row < 16; ++row) {
    if (Cell(p, row, 0) != Hex(address + 16 * row, 5)) {
      *why = "row address " + U8(Cell(p, row, 0));
      return false;
    }
    for (int col = 1; col <= 16; ++col) {
      const uint8_t b = expect[16 * row + col - 1];
      std::wstring want = Hex(b, 2);
      if (ascii) want = (b >= 0x21 && b <= 0x7E) ? std::wstring(1, static_cast<wchar_t>(b)) : L"";
      const std::wstring got = Cell(p, row, col);
      if (got != want) {
        *why = "cell " + std::to_string(row) + "," + std::to_string(col) + " '" + U8(got) +
               "' want '" + U8(want) + "'";
        return false;
      }
    }
  }
  return true;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& image, uint32_t at) {
  std::vector<uint8_t> page(256, 0xFF);
  for (uint32_t i = 0; i < 256; ++i)
    if (at + i < image.size()) page[i] = image[at + i];
  return page;
}

// The page is looked at until it is whole: the worker fills the cells row by
// row and writes the section text last, so a look in between would find a
// page half old and half new.
void CheckPage(const Program& p, uint32_t address, const std::vector<uint8_t>& image, bool ascii,
               const std::string& what) {
  std::string why;
  const std::vector<uint8_t> page = Slice(image, address);
  const bool ok = WaitFor([&] { return PageShows(p, address, page, ascii, &why); }, 20000, 100);
  Check(ok, what + (ok ? "" : " (" + why + ")"));
}

// A click on one of the code view's buttons loads a page on the window's
// worker, which shows "调入代码......" while it reads; until it is done the
// window ignores the view's next click. A page check made before the load
// began would read the page it replaces (or, where both are alike, pass and
// let the next click be lost), so the click waits until the load is seen to
// run. A page from the PC's buffer loads between two looks; the wait then
// ends on its time limit and the page check finds the page.
void ClickView(const Program& p, int id) {
  HWND status = p.Control(ctl::kStatusLine);
  const std::wstring before = Text(status);
  Click(p.Control(id));
  WaitFor([&] { return Text(status) != before; }, 2000, 2);
}

// The middle of a data cell of the first row, from the tabled widths (ADDR
// 45, bytes 26) and the header's bottom edge.
POINT FirstRowCell(const Program& p, int column) {
  HWND header = reinterpret_cast<HWND>(SendMessageW(List(p), LVM_GETHEADER, 0, 0));
  const RECT list = ScreenRect(List(p));
  const RECT head = ScreenRect(header);
  return POINT{list.left + 2 + 45 + (column - 1) * 26 + 13, head.bottom + 7};
}

// "返 回" leaves the code view. A press that lands in the moment between the
// page's last text and the worker's end is ignored, as a technician's would
// be, so it is pressed again until the operation panel says so.
void BackToOperations(const Program& p) {
  bool back = false;
  for (int press = 0; press < 3 && !back; ++press) {
    // Once the panel has swapped, the same spot holds an operation button.
    if (press > 0 && !ShownBelow(p.Control(ctl::kBack), p.main())) break;
    Click(p.Control(ctl::kBack));
    back = WaitStatus(p, kChooseOperation, 2000);
  }
  back = back || WaitStatus(p, kChooseOperation);
  Check(back, "返 回 leads back to the operations: " + StatusU8(p));
}

// --- the journey ----------------------------------------------------------

struct Day {
  std::vector<uint8_t> file;    // the code file's bytes, from address 0
  std::vector<uint8_t> memory;  // what the programmer memory should hold (1 MiB)
  std::vector<uint8_t> buffer;  // what the PC's buffer should hold (1 MiB)
  std::wstring hex_path;
  uint16_t sum = 0;  // the file's checksum
};

void AutoProgramBlankChip(Program& p, const Day& day) {
  PressAuto(p);
  Check(Answers(p), "the window answers while the chip is programmed");
  const bool passed = WaitStatus(p, kAutoPassed, 60000);
  Check(passed, "a blank MTP chip: " + StatusU8(p));
  {
    const bool ok = WaitFor([&] { return Box(p, ctl::kPassBox) == L"000001"; }, kEffectMs);
    Check(ok, "the success count reads 000001 (" + TextU8(p.Control(ctl::kPassBox)) + ")");
  }
  Check(StatusBlue(p), "the success is drawn in blue");
  Shot("journey_auto_pass", p.main());
  const std::string chip = Sim("chip");
  Check(chip.find("smart=1 read-protect=1 ldc-protect=0 hw-write-protect=1") != std::string::npos,
        "the chip got SMART, read and hardware protection: " + chip);
  Check(SameBytes(day.file, SimDump("dump-chip", "chip1.bin")), "the chip holds the file's code");
}

void AutoProgramAgainWithBlankCheck(Program& p) {
  SetTick(p, ctl::kAutoBlankCheck, true);
  PressAuto(p);
  const std::wstring failed = L"芯片不空, 在地址: 00000";
  {
    const bool ok = WaitStatus(p, failed, 30000);
    Check(ok, "the programmed chip fails the blank check: " + StatusU8(p));
  }
  {
    const bool ok = WaitFor([&] { return Box(p, ctl::kFailBox) == L"00001"; }, kEffectMs);
    Check(ok, "the failure count reads 00001 (" + TextU8(p.Control(ctl::kFailBox)) + ")");
  }
  Check(Box(p, ctl::kPassBox) == L"000001", "the success count stays 000001");
  Check(StatusRed(p), "the failure is drawn in red");
  Shot("journey_auto_fail", p.main());
  SetTick(p, ctl::kAutoBlankCheck, false);
}

// The window's production log of today: %LOCALAPPDATA%\zelvatool\logs.
std::wstring TodaysLogPath() {
  PWSTR local = nullptr;
  std::wstring folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local))) folder = local;
  CoTaskMemFree(local);
  SYSTEMTIME now{};
  GetLocalTime(&now);
  wchar_t day[16];
  std::swprintf(day, 16, L"%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
  return folder + L"\\zelvatool\\logs\\" + day + L".csv";
}

// The two chips so far left two lines a spreadsheet reads: the mark and the
// header, then the passed chip and the failed one, each with the file, the
// checksum, the range, the options, the steps, the verdict and the counts.
void CheckProductionLog(const Day& day) {
  const std::string text = ReadBytes(TodaysLogPath());
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find("\r\n", at);
    if (end == std::string::npos) break;
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  for (const std::string& line : lines) std::printf("# log: %s\n", line.c_str());
  Check(lines.size() == 3 && lines[0] ==
                                  "\xEF\xBB\xBF时间,端口,芯片,芯片电压,编程电压,代码文件,编程内存检查和,"
                                  "地址范围,编程选项,执行步骤,结果,计数,状态信息,成功计数,失败计数",
        "today's log holds the header and two lines (" + std::to_string(lines.size()) + " lines)");
  if (lines.size() != 3) return;
  const std::string file_part = ",COM1,MTP,5.0V,Vcc," + U8(day.hex_path) + "," + U8(Hex(day.sum, 4)) +
                                ",0000~07FF,";
  Check(lines[1].find(file_part) == 19 &&
            lines[1].find(",擦除MTP;编程;校验;使能SMART;读保护;硬件写保护,通过,计数,"
                          "自动编程已成功完成,1,0") != std::string::npos,
        "the passed chip's line: " + lines[1]);
  Check(lines[2].find(file_part) == 19 &&
            lines[2].find(",自动校验;自动空检查;") != std::string::npos &&
            lines[2].find(",空检查,失败,计数,\"芯片不空, 在地址: 00000\",1,1") != std::string::npos,
        "the failed chip's line: " + lines[2]);
}

void SetViewAddress(Program& p, const std::wstring& text) {
  Retype(p, ctl::kViewAddress, text);
  ClickView(p, ctl::kViewSet);
}

void BrowseCodeView(Program& p, const Day& day) {
  ClickView(p, ctl::kShowMemory);
  Check(WaitFor([&] { return ShownBelow(List(p), p.main()); }, kEffectMs), "the code view shows");
  Check(Checked(p.Control(ctl::kViewMemory)) && !Checked(p.Control(ctl::kViewAscii)),
        "programmer-memory view, hexadecimal");
  CheckPage(p, 0, day.memory, false, "page 00000 of the programmer memory holds the file");
  ClickView(p, ctl::kNextPage);
  CheckPage(p, 0x100, day.memory, false, "下一页 shows 00100");
  Shot("journey_code_view", p.main());
  ClickView(p, ctl::kPrevPage);
  CheckPage(p, 0, day.memory, false, "上一页 goes back to 00000");
  ClickView(p, ctl::kPrevPage);
  CheckPage(p, 0, day.memory, false, "上一页 on page 00000 stays there");
  SetViewAddress(p, L"734");
  CheckPage(p, 0x730, day.memory, false, "设 置 with 734 shows the page at 00730");
  SetViewAddress(p, L"FFFFF");
  CheckPage(p, 0xFFF00, day.memory, false, "设 置 with FFFFF shows FFF00~FFFFF (erased)");
  ClickView(p, ctl::kNextPage);
  CheckPage(p, 0xFFF00, day.memory, false, "下一页 on the last page stays there");
  SetViewAddress(p, L"0");

  // The chip view: the chip in the socket is read-protected, so the
  // programmer reads it as zeros.
  CheckPage(p, 0, day.memory, false, "back at 00000");
  ClickView(p, ctl::kViewChip);
  const std::vector<uint8_t> zeros(0x100000, 0x00);
  CheckPage(p, 0, zeros, false, "the chip view reads the read-protected chip as 00");
  ClickView(p, ctl::kViewAscii);
  CheckPage(p, 0, zeros, true, "in ASCII its zeros are empty cells");
  ClickView(p, ctl::kViewMemory);
  CheckPage(p, 0, day.memory, true, "the programmer memory in ASCII: letters and empty cells");
  Shot("journey_code_view_ascii", p.main());
  // No edits in ASCII mode.
  DoubleClickAt(FirstRowCell(p, 3));
  HWND refusal = p.WaitForDialog(L"错误操作", kEffectMs);
  Check(refusal != nullptr && DialogMessage(refusal) == L"不能在ASCII码方式改变代码!",
        "a double-click in ASCII mode is refused");
  if (refusal != nullptr) AnswerBox(p, refusal, IDOK);
  ClickView(p, ctl::kViewAscii);
  CheckPage(p, 0, day.memory, false, "hexadecimal again");
}

// In debug mode the programmer-memory view is the PC's buffer: an edited
// byte shows there and goes into the chip with the next direct programming.
void EditAndProgramDirect(Program& p, Day* day) {
  BackToOperations(p);
  SetTick(p, ctl::kDebugMode, true);
  ClickView(p, ctl::kShowMemory);
  CheckPage(p, 0, day->buffer, false, "debug mode: the page is the buffer, which holds the file");
  DoubleClickAt(FirstRowCell(p, 3));
  HWND edit = p.WaitForDialog(kEditDialog, kEffectMs);
  Check(edit != nullptr, "a double-click on byte 00002 opens 编辑代码数据");
  if (edit == nullptr) return;
  Check(DialogMessage(edit) == L"请输入新值(地址--00002):",
        "its label names 00002: " + U8(DialogMessage(edit)));
  Check(Text(GetDlgItem(edit, 500)) == Hex(day->buffer[2], 2), "its box holds the old value");
  PressKey(VK_END);
  PressKey(VK_BACK);
  PressKey(VK_BACK);
  TypeText(L"a5");
  Check(WaitFor([&] { return Text(GetDlgItem(edit, 500)) == L"A5"; }, kEffectMs),
        "a5 is typed as A5");
  Shot("journey_edit", edit);
  Click(GetDlgItem(edit, IDOK));
  Check(WaitFor([&] { return !IsWindow(edit); }, kEffectMs) && Activate(p), "OK closes it");
  Check(WaitFor([&] { return Cell(p, 0, 3) == L"A5"; }, kEffectMs), "the cell reads A5");
  day->buffer[2] = 0xA5;
  ClickView(p, ctl::kNextPage);
  CheckPage(p, 0x100, day->buffer, false, "next page");
  ClickView(p, ctl::kPrevPage);
  CheckPage(p, 0, day->buffer, false, "and back: the page still shows A5 at 00002");
  BackToOperations(p);

  // The header of the direct programming carries the checksum box, which the
  // programmer checks the stream against. With the box still holding the
  // sum from before the edit, the programmer refuses the stream and the
  // window says so; "缓冲区检查和" then brings the box up to the edited
  // buffer (in debug mode it sums the buffer).
  Check(Sim("new-chip").rfind("new-chip:", 0) == 0, "a new blank chip in the socket");
  PressAuto(p);
  HWND refused = p.WaitForDialog(kWarningCaption, 60000);
  Check(refused != nullptr && DialogMessage(refused).rfind(L"发送数据校验和错误!", 0) == 0,
        "with the old sum in the box the programmer refuses the stream: " +
            (refused ? U8(DialogMessage(refused)) : std::string("no box")));
  if (refused != nullptr) AnswerBox(p, refused, IDOK);
  {
    const bool ok = WaitStatus(p, L"编程芯片失败! [校验和错]", kEffectMs) &&
                    WaitFor([&] { return Box(p, ctl::kFailBox) == L"00002"; }, kEffectMs);
    Check(ok, "a counted failure: " + StatusU8(p) + " " + TextU8(p.Control(ctl::kFailBox)));
  }
  Pause(1500);  // the run's closing beeps
  const std::vector<uint8_t> edited(day->buffer.begin(), day->buffer.begin() + day->file.size());
  Click(p.Control(ctl::kBufferChecksum));
  {
    const bool ok = WaitChecksum(p, Sum16(edited), 20000);
    Check(ok, "缓冲区检查和 gives the edited buffer's sum " + U8(Hex(Sum16(edited), 4)) + ": " +
                  StatusU8(p));
  }
  Pause(500);
  Check(Sim("new-chip").rfind("new-chip:", 0) == 0, "a new blank chip in the socket");
  PressAuto(p);
  {
    const bool ok = WaitStatus(p, kAutoPassed, 60000);
    Check(ok, "debug mode: the direct run passes: " + StatusU8(p));
  }
  Check(WaitFor([&] { return Box(p, ctl::kPassBox) == L"000002"; }, kEffectMs),
        "the success count reads 000002");
  const std::string dump = SimDump("dump-chip", "chip2.bin");
  Check(dump.size() == 0x8000 && static_cast<uint8_t>(dump[2]) == 0xA5,
        "the chip got the edited byte A5 at 00002");
  Check(SameBytes(edited, dump), "and the rest of the buffer");
  SetTick(p, ctl::kDebugMode, false);
}

// "保存HEX" saves the programmer memory (not the buffer) over the range;
// loaded back, the file gives the same data and checksum.
void SaveAndLoadBack(Program& p, Day* day) {
  const std::wstring saved = TempPath(L"zvp_journey_saved.hex");
  DeleteFileW(saved.c_str());
  if (!ChooseInFileDialog(p, p.Control(ctl::kSaveHex), saved, "journey_save_dialog")) return;
  const std::wstring done = L"代码文件文件已成功保存在: ";
  {
    const bool ok =
        WaitFor([&] { return Text(p.Control(ctl::kStatusLine)).rfind(done, 0) == 0; }, 30000);
    Check(ok, "the save reports its file: " + StatusU8(p));
  }
  Pause(500);
  std::vector<uint8_t> image;
  size_t top = 0;
  const bool parsed = ParseHex(ReadBytes(saved), &image, &top);
  Check(parsed && top == day->file.size(),
        "the saved file is well-formed HEX up to 007FF (top " + std::to_string(top) + ")");
  // The edit went into the buffer only: the file holds the download.
  Check(parsed && std::equal(day->file.begin(), day->file.end(), image.begin()),
        "it holds the programmer memory, the code as downloaded (00002 = " + U8(Hex(image[2], 2)) +
            ")");
  if (!OpenAndDownload(p, saved, day->sum, "")) return;
  Check(SameBytes(day->file, SimDump("dump-memory", "memory1.bin")),
        "loaded back, it puts the same data into the programmer memory");
  day->buffer = day->memory;

  // A name typed without an extension gets ".hex", so the open dialog's
  // filter finds the file again.
  const std::wstring bare = TempPath(L"zvp_journey_saved2");
  DeleteFileW(bare.c_str());
  DeleteFileW((bare + L".hex").c_str());
  if (!ChooseInFileDialog(p, p.Control(ctl::kSaveHex), bare, "")) return;
  {
    const bool ok =
        WaitFor([&] { return Text(p.Control(ctl::kStatusLine)).rfind(done, 0) == 0; }, 30000);
    Check(ok, "the second save reports its file: " + StatusU8(p));
  }
  Check(GetFileAttributesW((bare + L".hex").c_str()) != INVALID_FILE_ATTRIBUTES &&
            GetFileAttributesW(bare.c_str()) == INVALID_FILE_ATTRIBUTES,
        "a name typed without an extension is saved as .hex: " + StatusU8(p));
}

// An offline master: the download again, then the configuration, which
// the programmer keeps: the header with command 17.
void MakeOfflineMaster(Program& p, const Day& day) {
  Click(p.Control(ctl::kOfflineMaster));
  HWND ask = p.WaitForDialog(L"操作提示", kEffectMs);
  Check(ask != nullptr, "制作脱机母片 asks first");
  if (ask == nullptr) return;
  Check(AnswerBox(p, ask, IDYES), "Yes goes on");
  const std::wstring made =
      L"脱机编程母片制作成功!您现在即可通过编程器主板的[编程]按钮进行脱机烧写了";
  {
    const bool ok = WaitStatus(p, made, 60000);
    Check(ok, "the master is made: " + StatusU8(p));
  }
  Shot("journey_offline_master", p.main());
  // STAR, MTP, options 0x79 (read and hardware protection, SMART, verify,
  // erase), end 07FF, the file's sum, 1, 5.0 V with Vpp from Vcc, the code
  // bytes at 003C..003F, start 000000, the end's high byte 00, command 17.
  char want[64];
  std::snprintf(want, sizeof want, "config: 535441520279%04X%04X0181%02X%02X%02X%02X0000000011",
                static_cast<unsigned>(day.file.size() - 1), day.sum, day.file[0x3C], day.file[0x3D],
                day.file[0x3E], day.file[0x3F]);
  const std::string config = Sim("config");
  Check(config == want,
        "the programmer holds the configuration " + config + " (want " + want + ")");
  Check(SameBytes(day.file, SimDump("dump-memory", "memory2.bin")), "and the code in its memory");
}

// The programmer restarts: the reset text in red, the buffer cleared, and
// "校验芯片" meets the download guard.
void ProgrammerResets(Program& p) {
  Sim("reset");
  {
    const bool ok = WaitStatus(p, kResetText, 10000);
    Check(ok, "the reset is reported: " + StatusU8(p));
  }
  Check(StatusRed(p), "in red");
  Shot("journey_reset", p.main());
  SetTick(p, ctl::kDebugMode, true);
  ClickView(p, ctl::kShowMemory);
  const std::vector<uint8_t> erased(0x100000, 0xFF);
  CheckPage(p, 0, erased, false, "the buffer was cleared to FF");
  BackToOperations(p);
  SetTick(p, ctl::kDebugMode, false);
  Click(p.Control(ctl::kVerifyChip));
  HWND box = p.WaitForDialog(kWarningCaption, kEffectMs);
  Check(box != nullptr && DialogMessage(box) == kNoCodeText, "校验芯片 shows message W");
  if (box != nullptr) AnswerBox(p, box, IDOK);
}

// The programmer is pulled away while a long download runs: a clear failure
// text and a window that keeps answering; brought back, it works again.
void PulledMidDownload(Program& p, const Day& day) {
  const std::vector<uint8_t> big = MakeCode(0x8000, 99);
  const std::wstring big_path = TempPath(L"zvp_journey_big.hex");
  WriteBytes(big_path, HexText(big));
  if (!ChooseInFileDialog(p, p.Control(ctl::kOpenFile), big_path, "")) return;
  const std::wstring progress = L"[双击这里中断下载]";
  {
    const bool ok =
        WaitFor([&] { return Text(p.Control(ctl::kStatusLine)).rfind(progress, 0) == 0; }, 30000);
    Check(ok, "the long download runs: " + StatusU8(p));
  }
  Check(AskRunner("pull"), "the programmer is pulled away");
  const DWORD pulled = GetTickCount();
  const std::wstring failures[] = {L"代码下载过程出错!请尝试重新下载该代码",
                                   L"编程器连接错误,编程器可能正忙,请稍候再试!",
                                   L"编程代码下载失败![编程器无回应,可能正忙,请稍候再试]"};
  bool answered = true;
  const bool failed = WaitFor(
      [&] {
        answered = answered && Answers(p);
        const std::wstring now = Text(p.Control(ctl::kStatusLine));
        for (const auto& f : failures)
          if (now == f) return true;
        return false;
      },
      30000);
  const DWORD took = GetTickCount() - pulled;
  Check(failed, "the download fails with a clear text after " + std::to_string(took) +
                    " ms: " + StatusU8(p));
  Check(answered && Answers(p), "the window answered all the while");
  Check(StatusRed(p), "the failure is red");
  Shot("journey_pulled", p.main());
  Pause(1500);  // poll ticks on the dead port must not disturb anything
  Check(Answers(p) && p.AnyOtherDialog() == nullptr, "no box and no hang after it");

  Check(AskRunner("return"), "the programmer is back behind COM1");
  {
    const bool ok = Connect(p);
    Check(ok, "COM1 connects again: " + StatusU8(p));
  }
  if (!OpenAndDownload(p, day.hex_path, day.sum, "")) return;
  PressAuto(p);
  {
    const bool ok = WaitStatus(p, kAutoPassed, 60000);
    Check(ok, "the next chip passes: " + StatusU8(p));
  }
  Check(WaitFor([&] { return Box(p, ctl::kPassBox) == L"000003"; }, kEffectMs),
        "the success count reads 000003");
  Shot("journey_back", p.main());
}

// Closing the window while a long save runs asks first: No keeps the save
// going, Yes stops it as the double-click on the status line does and the
// program ends once it has stopped, the window answering all the while. The
// file the save was to replace is left as it was.
void CloseDuringSave(Program& p) {
  const std::wstring target = TempPath(L"zvp_journey_close.hex");
  const std::string old_text = "the old file\r\n";
  WriteBytes(target, old_text);
  Retype(p, ctl::kEndAddress, L"7FFF");
  if (!ChooseInFileDialog(p, p.Control(ctl::kSaveHex), target, "")) return;
  const std::wstring progress = L"[双击这里中断操作]";
  auto saving = [&] { return Text(p.Control(ctl::kStatusLine)).rfind(progress, 0) == 0; };
  Check(WaitFor(saving, 30000), "a long save runs: " + StatusU8(p));
  const std::wstring question = L"编程操作正在进行中,确实要中断操作并退出吗?";

  Click(p.Control(ctl::kQuit));
  HWND ask = p.WaitForDialog(kConfirmCaption, kEffectMs);
  Check(ask != nullptr && DialogMessage(ask) == question, "closing during the save asks first");
  if (ask == nullptr) return;
  Shot("journey_close_question", p.main());
  Check(AnswerBox(p, ask, IDNO), "No answers it");
  const std::wstring before = Text(p.Control(ctl::kStatusLine));
  Check(WaitFor([&] { return saving() && Text(p.Control(ctl::kStatusLine)) != before; },
                kEffectMs),
        "after No the save goes on: " + StatusU8(p));

  Click(p.Control(ctl::kQuit));
  ask = p.WaitForDialog(kConfirmCaption, kEffectMs);
  Check(ask != nullptr, "closing again asks again");
  if (ask == nullptr) return;
  const DWORD asked = GetTickCount();
  Check(AnswerBox(p, ask, IDYES), "Yes answers it");
  // The window answers until it is gone; the save stops before its next page.
  bool answered = true;
  const bool gone = WaitFor(
      [&] {
        if (!IsWindow(p.main())) return true;
        // A window already hidden by the close may miss a message while it
        // is destroyed; one that still shows must answer.
        answered = answered && (Answers(p) || !IsWindowVisible(p.main()));
        return false;
      },
      15000);
  const DWORD took = GetTickCount() - asked;
  Check(gone && answered, "after Yes the window answers and is gone in " + std::to_string(took) +
                              " ms");
  const int code = p.WaitForExit(10000);
  Check(code == 0, "and the program ends (exit " + std::to_string(code) + ")");
  if (code < 0) p.Kill();
  Check(ReadBytes(target) == old_text &&
            GetFileAttributesW((target + L".zvp-part").c_str()) == INVALID_FILE_ATTRIBUTES,
        "the stopped save left the old file as it was, and no part file");
}

int PhaseJourney(const std::wstring& exe) {
  if (SignalDirectory().empty()) {
    Check(false, "the journey needs its runner (a signal directory)");
    return 1;
  }
  DeleteSettings();
  DeleteFileW(TodaysLogPath().c_str());
  Day day;
  day.file = MakeCode(0x800, 2026);
  day.memory.assign(0x100000, 0xFF);
  std::copy(day.file.begin(), day.file.end(), day.memory.begin());
  day.buffer = day.memory;
  day.sum = Sum16(day.file);
  day.hex_path = TempPath(L"zvp_journey.hex");
  Check(WriteBytes(day.hex_path, HexText(day.file)), "the code file is written");

  Program p;
  if (!p.Start(exe, L"") || !p.WaitForMainWindow(30000)) {
    Check(false, "zvp.exe comes up");
    p.Kill();
    return 1;
  }
  {
    const bool ok = Connect(p);
    Check(ok, "COM1 leads to zvp-sim: " + StatusU8(p));
  }
  if (!OpenAndDownload(p, day.hex_path, day.sum, "journey_open_dialog")) {
    p.Kill();
    return 1;
  }
  Check(Box(p, ctl::kStartAddress) == L"0000" && Box(p, ctl::kEndAddress) == L"07FF",
        "the range follows the file: 0000~07FF");
  Shot("journey_checksum", p.main());
  Check(SameBytes(day.file, SimDump("dump-memory", "memory0.bin")),
        "the programmer memory holds the file");

  AutoProgramBlankChip(p, day);
  AutoProgramAgainWithBlankCheck(p);
  CheckProductionLog(day);
  BrowseCodeView(p, day);
  EditAndProgramDirect(p, &day);
  SaveAndLoadBack(p, &day);
  MakeOfflineMaster(p, day);
  ProgrammerResets(p);
  PulledMidDownload(p, day);
  CloseDuringSave(p);
  return Failures() == 0 ? 0 : 1;
}

// --- any port, and a bench of two windows ----------------------------------

const std::wstring kPortHint = L"可以从列表中选择, 也可以输入端口名 (COM1 到 COM256)";

// Types `name` over the dialog's name box (which shows it in capitals) and
// presses Enter.
void EnterPortName(HWND dialog, const std::wstring& name) {
  HWND box = GetDlgItem(dialog, IDC_PORT_NAME);
  Click(box);
  PressKey(VK_END);
  for (int i = 0; i < 12; ++i) PressKey(VK_BACK);
  TypeText(name);
  std::wstring upper = name;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
  WaitFor([&] { return Text(box) == upper; }, kEffectMs);
  PressKey(VK_RETURN);
}

// The row of the list that shows `port`, or -1.
int PortRow(HWND list, const std::wstring& port) {
  const auto lines = ListBoxLines(list);
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].rfind(port + L"\t", 0) == 0) return static_cast<int>(i);
  return -1;
}

// A click on a row of another program's list box.
void ClickListRow(HWND list, int row) {
  const LRESULT height = SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
  const LRESULT top = SendMessageW(list, LB_GETTOPINDEX, 0, 0);
  POINT at{12, static_cast<LONG>((row - top) * height + height / 2)};
  ClientToScreen(list, &at);
  ClickAt(at);
}

// A window on a port beyond the four: the group names it, no button ticked.
bool ShowsOtherPort(const Program& p, const std::wstring& port) {
  for (int id = ctl::kCom1; id <= ctl::kCom4; ++id)
    if (Checked(p.Control(id))) return false;
  return Text(p.Control(ctl::kPortGroup)) == L"端口 " + port;
}

bool StartWindow(Program& p, const std::wstring& exe, const std::wstring& arguments) {
  if (p.Start(exe, arguments) && p.WaitForMainWindow(30000)) return true;
  Check(false, "zvp.exe " + U8(arguments) + " comes up");
  p.Kill();
  return false;
}

// The last line of today's production log.
std::string LastLogLine() {
  const std::string text = ReadBytes(TodaysLogPath());
  const size_t end = text.rfind("\r\n");
  if (end == std::string::npos || end == 0) return "";
  const size_t before = text.rfind("\r\n", end - 1);
  const size_t start = before == std::string::npos ? 0 : before + 2;
  return text.substr(start, end - start);
}

// COM7 (zvp-sim behind it, as behind COM1) reached through the system menu,
// with a nonexistent COM9 and a name that is no port on the way; download
// and auto-program there; a restart that comes back on COM7.
bool AnyPortFromTheWindow(const std::wstring& exe) {
  Day day;
  day.file = MakeCode(0x400, 77);
  day.sum = Sum16(day.file);
  day.hex_path = TempPath(L"zvp_anyport.hex");
  Check(WriteBytes(day.hex_path, HexText(day.file)), "the code file is written");
  Sim("fault none");
  Sim("silent off");

  Program p;
  if (!StartWindow(p, exe, L"")) return false;
  Check(StatusIs(p, kAskForPort), "a first start asks for a port: " + StatusU8(p));

  HWND dialog = OpenPortDialog(p, "system_menu_ports");
  if (dialog == nullptr) {
    p.Kill();
    return false;
  }
  HWND list = GetDlgItem(dialog, IDC_PORT_LIST);
  HWND hint = GetDlgItem(dialog, IDC_PORT_HINT);
  const auto lines = ListBoxLines(list);
  for (const std::wstring& line : lines) std::printf("# port list: %s\n", U8(line).c_str());
  const int com7 = PortRow(list, L"COM7");
  Check(com7 >= 0 && lines[com7].find(L"\\Device\\") != std::wstring::npos,
        "the list shows COM7 with its device, as the system lists it");
  Check(PortRow(list, L"COM5") >= 0 && PortRow(list, L"COM9") < 0,
        "COM5 is there, COM9 (nothing behind it) is not");
  Check(Text(hint) == kPortHint, "the hint says what the dialog takes: " + TextU8(hint));
  Shot("port_dialog", dialog);

  EnterPortName(dialog, L"com0");
  const std::wstring refused = L"\"COM0\" 不是串口名称!请输入 COM1 到 COM256 之间的端口, 例如 COM7";
  Check(WaitFor([&] { return Text(hint) == refused; }, kEffectMs),
        "a name that is no port is refused: " + TextU8(hint));
  Check(IsWindow(dialog) && IsWindowVisible(dialog), "and the dialog stays open");
  Pause(300);
  Check(ScreenHasColour(ScreenRect(hint), Reddish), "the refusal is drawn in red");
  Shot("port_dialog_refused", dialog);

  // A port that does not exist, typed in the device namespace.
  EnterPortName(dialog, L"\\\\.\\com9");
  Check(WaitFor([&] { return !IsWindow(dialog); }, kEffectMs), "\\\\.\\com9 is taken for COM9");
  {
    const bool ok = WaitStatus(p, kConnectError, 15000);
    Check(ok, "COM9 fails with the connection error: " + StatusU8(p));
  }
  const std::wstring why = AnswerConnectionBox(p, L"COM9", "why_no_such_port");
  Check(why.rfind(L"端口 COM9" + kNoSuchPortReason, 0) == 0, "the box says COM9 does not exist: " + U8(why));
  Check(StatusIs(p, kConnectError) && ShowsOtherPort(p, L"COM9"),
        "the connection error stays; the port group names COM9");

  // COM7 from the list, with the mouse.
  dialog = OpenPortDialog(p, "");
  if (dialog == nullptr) {
    p.Kill();
    return false;
  }
  list = GetDlgItem(dialog, IDC_PORT_LIST);
  HWND name = GetDlgItem(dialog, IDC_PORT_NAME);
  Check(Text(name) == L"COM9", "the dialog starts from the port in use");
  ClickListRow(list, PortRow(list, L"COM7"));
  Check(WaitFor([&] { return Text(name) == L"COM7"; }, kEffectMs),
        "a click on COM7 in the list puts it into the box: " + TextU8(name));
  Click(GetDlgItem(dialog, IDOK));
  Check(WaitFor([&] { return !IsWindow(dialog); }, kEffectMs) && Activate(p), "OK takes COM7");
  {
    const bool ok = WaitStatus(p, kConnectedPrefix + L"COM7", 15000);
    Check(ok, "COM7 connects: " + StatusU8(p));
  }
  Check(ShowsOtherPort(p, L"COM7"), "the port group names COM7, no button is ticked");
  Check(StatusBlue(p), "in blue");
  Shot("main_com7", p.main());

  Check(Sim("new-chip").rfind("new-chip:", 0) == 0, "a new blank chip in the socket");
  if (!OpenAndDownload(p, day.hex_path, day.sum, "")) {
    p.Kill();
    return false;
  }
  Check(SameBytes(day.file, SimDump("dump-memory", "memory_com7.bin")),
        "the programmer memory behind COM7 holds the file");
  PressAuto(p);
  {
    const bool ok = WaitStatus(p, kAutoPassed, 60000);
    Check(ok, "auto-program on COM7: " + StatusU8(p));
  }
  Check(WaitFor([&] { return Box(p, ctl::kPassBox) == L"000001"; }, kEffectMs),
        "the success count reads 000001");
  Check(SameBytes(day.file, SimDump("dump-chip", "chip_com7.bin")), "the chip holds the file's code");
  Pause(500);
  const std::string logged = LastLogLine();
  Check(logged.find(",COM7,MTP,") == 19, "the production log names COM7: " + logged);
  if (Quit(p) != 0) return false;
  Check(SettingText(L"com") == L"com7", "the settings keep com7: " + U8(SettingText(L"com")));

  Program again;
  if (!StartWindow(again, exe, L"")) return false;
  {
    const bool ok = WaitStatus(again, kConnectedPrefix + L"COM7", 15000);
    Check(ok, "after a restart the window comes back on COM7: " + StatusU8(again));
  }
  Check(ShowsOtherPort(again, L"COM7"), "with the port group naming it");
  return Quit(again) == 0;
}

// Both windows start centred, one over the other: the bench puts them side
// by side, so that a click meant for one cannot land on the other.
void SideBySide(const Program& a, const Program& b) {
  SetWindowPos(a.main(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  const RECT ra = ScreenRect(a.main());
  SetWindowPos(b.main(), nullptr, ra.right + 4, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  Pause(300);
}

// Two windows of a bench, one per programmer, started with --port: each
// keeps its own choices under its own key and comes back on its own port.
// On the way, the two other ways a connection fails: a port the other
// window holds, and a programmer that does not answer.
bool BenchOfTwoWindows(const std::wstring& exe) {
  // A shortcut whose port is no port: the window says so and does not start.
  {
    Program bad;
    if (bad.Start(exe, L"--port COM0")) {
      HWND box = bad.WaitForDialog(kWarningCaption, 15000);
      const std::wstring text = box != nullptr ? DialogMessage(box) : L"";
      Check(text == L"启动参数 --port \"COM0\" 不是串口名称!请输入 COM1 到 COM256 之间的端口, 例如 COM7",
            "--port COM0 is refused in a box: " + U8(text));
      if (box != nullptr) AnswerBox(bad, box, IDOK);
      const int code = bad.WaitForExit(10000);
      Check(code == 2, "and no window starts (exit " + std::to_string(code) + ")");
      if (code < 0) bad.Kill();
    }
  }
  Program a, b;
  if (!StartWindow(a, exe, L"--port COM5")) return false;
  {
    const bool ok = WaitStatus(a, kConnectedPrefix + L"COM5", 15000);
    Check(ok, "--port COM5 connects COM5: " + StatusU8(a));
  }
  Check(Text(a.main()).find(L"[端口 COM5]") != std::wstring::npos,
        "the caption names the window's port: " + TextU8(a.main()));
  Click(a.Control(ctl::kChipOtp));
  Click(a.Control(ctl::kVpp12));
  Check(WaitFor([&] { return Box(a, ctl::kVppBox) == L"12.0"; }, kEffectMs), "COM5's window: OTP, 12 V");

  if (!StartWindow(b, exe, L"--port COM7")) {
    a.Kill();
    return false;
  }
  {
    const bool ok = WaitStatus(b, kConnectedPrefix + L"COM7", 15000);
    Check(ok, "--port COM7 connects COM7: " + StatusU8(b));
  }
  SideBySide(a, b);
  Click(b.Control(ctl::kVdd33));
  SetTick(b, ctl::kAutoBlankCheck, true);
  Check(WaitFor([&] { return Box(b, ctl::kVddBox) == L"3.3"; }, kEffectMs),
        "COM7's window: MTP, 3.3 V, blank check");

  // COM5 is the other window's.
  HWND dialog = OpenPortDialog(b, "");
  if (dialog != nullptr) EnterPortName(dialog, L"COM5");
  {
    const bool ok = WaitStatus(b, kConnectError, 15000);
    Check(ok, "COM5 held by the other window fails: " + StatusU8(b));
  }
  std::wstring why = AnswerConnectionBox(b, L"COM5", "why_port_in_use");
  Check(why.rfind(L"端口 COM5" + kPortInUseReason, 0) == 0, "the box says COM5 is in use: " + U8(why));
  Check(StatusIs(a, kConnectedPrefix + L"COM5"), "the window that holds it is undisturbed");

  // The programmer behind COM7 keeps silent.
  Sim("silent on");
  dialog = OpenPortDialog(b, "");
  if (dialog != nullptr) EnterPortName(dialog, L"COM7");
  {
    const bool ok = WaitStatus(b, kConnectError, 15000);
    Check(ok, "a silent programmer on COM7 fails: " + StatusU8(b));
  }
  why = AnswerConnectionBox(b, L"COM7", "why_no_answer");
  Check(why.rfind(L"端口 COM7" + kNoAnswerReason, 0) == 0, "the box says it does not answer: " + U8(why));
  // The reconnect timer listens once a second and shows no box of its own;
  // the programmer heard again is the reset, as after any lost connection.
  Check(b.WaitForDialog(kWarningCaption, 2500) == nullptr, "the timer's ticks add no box");
  Sim("silent off");
  Sim("reset");
  {
    const bool ok = WaitStatus(b, kResetText, 10000);
    Check(ok && StatusRed(b), "the programmer starting again is heard as a reset: " + StatusU8(b));
  }
  Check(b.AnyOtherDialog() == nullptr, "with no box");
  // Connected again by hand, with COM7 typed by a full-width input method.
  dialog = OpenPortDialog(b, "");
  if (dialog != nullptr) EnterPortName(dialog, L"\uFF23\uFF2F\uFF2D\uFF17");
  {
    const bool ok = WaitStatus(b, kConnectedPrefix + L"COM7", 15000);
    Check(ok, "ＣＯＭ７ connects COM7: " + StatusU8(b));
  }

  const int quit_a = Quit(a);
  const int quit_b = Quit(b);
  if (quit_a != 0 || quit_b != 0) return false;
  auto stored = [](const std::wstring& port) {
    return U8(SettingText(L"com", port) + L" " + SettingText(L"chip", port) + L" " +
              SettingText(L"Vdd", port) + L" " + SettingText(L"Vpp", port));
  };
  Check(stored(L"COM5") == "com5 sotp 5.0V 12.0V", "COM5's key: " + stored(L"COM5"));
  Check(stored(L"COM7") == "com7 smtp 3.3V VCC", "COM7's key: " + stored(L"COM7"));
  const RegValue options = ReadSetting(L"auto", L"COM7");
  Check(options.present && !options.bytes.empty() && (options.bytes[0] & 0x04),
        "COM7's key keeps the blank check");
  Check(stored(L"") == "com7 smtp 5.0V VCC", "the window without --port keeps its own: " + stored(L""));

  // The next morning: both shortcuts at once.
  if (!a.Start(exe, L"--port COM5") || !b.Start(exe, L"--port COM7") ||
      !a.WaitForMainWindow(30000) || !b.WaitForMainWindow(30000)) {
    Check(false, "both windows come up together");
    a.Kill();
    b.Kill();
    return false;
  }
  {
    const bool ok = WaitStatus(a, kConnectedPrefix + L"COM5", 15000);
    Check(ok, "COM5's window is back on COM5: " + StatusU8(a));
  }
  {
    const bool ok = WaitStatus(b, kConnectedPrefix + L"COM7", 15000);
    Check(ok, "COM7's window is back on COM7: " + StatusU8(b));
  }
  Check(Checked(a.Control(ctl::kChipOtp)) && Checked(a.Control(ctl::kVpp12)) &&
            !Checked(a.Control(ctl::kAutoBlankCheck)),
        "with OTP and 12 V");
  Check(Checked(b.Control(ctl::kChipMtp)) && Checked(b.Control(ctl::kVdd33)) &&
            Checked(b.Control(ctl::kAutoBlankCheck)) && Checked(b.Control(ctl::kVppVcc)),
        "with MTP, 3.3 V and the blank check");
  SideBySide(a, b);
  Pause(500);
  const RECT rb = ScreenRect(b.main());
  char geometry[64];
  std::snprintf(geometry, sizeof geometry, "%ldx%ld+0+0", rb.right, rb.bottom);
  AskRunner(std::string("shot bench_two_windows ") + geometry);
  const bool a_ends = Quit(a) == 0;
  return Quit(b) == 0 && a_ends;
}

// The stored port has gone (its adapter unplugged overnight): the box says
// so while the window starts, and the window comes up with the connection
// error on that port.
void StoredPortGone(const std::wstring& exe) {
  DeleteSettings();
  WriteSetting(L"com", REG_SZ, WideBytes(L"com9"));
  Program p;
  if (!p.Start(exe, L"")) {
    Check(false, "zvp.exe starts");
    return;
  }
  const std::wstring why = AnswerConnectionBox(p, L"COM9");
  Check(why.rfind(L"端口 COM9" + kNoSuchPortReason, 0) == 0,
        "a stored COM9 that is gone is said as the window starts: " + U8(why));
  if (!p.WaitForMainWindow(30000)) {
    Check(false, "the window comes up after the box");
    p.Kill();
    return;
  }
  Check(StatusIs(p, kConnectError) && ShowsOtherPort(p, L"COM9"),
        "with the connection error, on COM9: " + StatusU8(p));
  Quit(p);
}

int PhaseAnyPort(const std::wstring& exe) {
  if (SignalDirectory().empty()) {
    Check(false, "this phase needs its runner (a signal directory)");
    return 1;
  }
  StoredPortGone(exe);
  DeleteSettings();
  if (AnyPortFromTheWindow(exe)) BenchOfTwoWindows(exe);
  return Failures() == 0 ? 0 : 1;
}

// --- the reliability run --------------------------------------------------

// What a run must end with under a fault the simulator drew.
struct Expected {
  std::wstring status;
  int pass = 0;  // what the counts gain
  int fail = 0;
  std::wstring box_caption;  // a box the run shows on the way, answered with OK
  std::wstring box_text;     // the start of its message
};

Expected ExpectFor(const std::string& name, const std::string& arg, bool direct) {
  const Expected passed{kAutoPassed, 1, 0, L"", L""};
  auto failed = [](const std::wstring& text) { return Expected{text, 0, 1, L"", L""}; };
  if (name == "none") return passed;
  // Unreachable at the blank check: not a failed chip.
  if (name == "silent") return Expected{kConnectError, 0, 0, L"", L""};
  // Only the direct run's verify compares a sum the programmer reports.
  if (name == "sum-offset") return direct ? failed(L"编程失败,校验芯片错误!") : passed;
  if (name == "voltage-error") {
    static const wchar_t* const kFirstLines[] = {
        L"检测到Vdd输出电压过低!", L"检测到Vdd输出电压过高!", L"检测到Vpp输出电压过低!",
        L"检测到Vpp输出电压过高!"};
    const int which = std::atoi(arg.c_str());
    std::wstring text = which >= 1 && which <= 4 ? kFirstLines[which - 1] : L"检测到未知错误!";
    Expected e = failed(L"编程电压错误,编程失败");
    e.box_caption = kVoltageCaption;
    e.box_text = text + L"编程操作将被异常中止!";
    return e;
  }
  if (name == "answer-no") {
    const int command = std::atoi(arg.c_str());
    switch (command) {
      case zvp::cmd::kBlankCheck:  // "NO" where an address belongs
        return failed(L"芯片不空, 在地址: 00000");
      case zvp::cmd::kEraseMtp:
        return failed(L"擦除芯片失败!");
      case zvp::cmd::kEnableSmart:
        return failed(L"使能芯片SMART系统失败!");
      case zvp::cmd::kReadProtect:
        return failed(L"使能芯片读保护失败!");
      case zvp::cmd::kHardwareWriteProtect:
        return failed(L"使能芯片硬件写保护失败!");
      case zvp::cmd::kProgramFromMemory:
        return direct ? passed : failed(L"编程芯片失败! [校验和错]");
      case zvp::cmd::kProgramFromPc: {
        if (!direct) return passed;
        Expected e = failed(L"编程芯片失败! [校验和错]");
        e.box_caption = kWarningCaption;
        e.box_text = L"发送数据校验和错误!";
        return e;
      }
      default:
        break;
    }
  }
  return Expected{L"?", 0, 0, L"", L""};
}

// Presses "自动编程" until the run has taken it: the status line moves on.
// (A press while the last run's worker finishes its end steps is ignored.)
bool StartAuto(Program& p) {
  const std::wstring before = Text(p.Control(ctl::kStatusLine));
  for (int attempt = 0; attempt < 6; ++attempt) {
    PressAuto(p);
    if (WaitFor([&] { return Text(p.Control(ctl::kStatusLine)) != before || p.AnyOtherDialog(); },
                1500))
      return true;
  }
  return false;
}

std::wstring Count(uint32_t value, int width) {
  wchar_t text[16];
  std::swprintf(text, 16, L"%0*u", width, value);
  return text;
}

int PhaseReliability(const std::wstring& exe, int runs) {
  if (SignalDirectory().empty() || runs <= 0) {
    Check(false, "the reliability run needs its runner and a number of runs");
    return 1;
  }
  DeleteSettings();
  const std::vector<uint8_t> code = MakeCode(0x200, 7);
  const uint16_t sum = Sum16(code);
  const std::wstring path = TempPath(L"zvp_reliability.hex");
  WriteBytes(path, HexText(code));

  Program p;
  if (!p.Start(exe, L"") || !p.WaitForMainWindow(30000)) {
    Check(false, "zvp.exe comes up");
    p.Kill();
    return 1;
  }
  Check(Connect(p), "COM1 leads to zvp-sim");
  // Blank check too, so that a programmer that cannot be reached is met
  // at the step that does not count the chip.
  SetTick(p, ctl::kAutoBlankCheck, true);
  if (!OpenAndDownload(p, path, sum, "")) {
    p.Kill();
    return 1;
  }

  uint32_t pass = 0, fail = 0;
  int bad_runs = 0;
  std::map<std::string, int> drawn;
  DWORD slowest = 0, total = 0;
  bool direct = false;
  for (int run = 1; run <= runs; ++run) {
    const int failures_before = Failures();
    const bool want_direct = run % 2 == 0;
    if (want_direct != direct) {
      SetTick(p, ctl::kDebugMode, want_direct);
      direct = want_direct;
    }
    Sim("new-chip");
    const std::string drew = Sim("random-fault");
    std::string name, arg;
    {
      const std::string body = drew.rfind("fault: ", 0) == 0 ? drew.substr(7) : "?";
      const size_t space = body.find(' ');
      name = body.substr(0, space);
      arg = space == std::string::npos ? "" : body.substr(space + 1);
    }
    ++drawn[name + (arg.empty() ? "" : " " + arg)];
    const std::string tag = "run " + std::to_string(run) + (direct ? " direct" : " normal") + " [" +
                            name + (arg.empty() ? "" : " " + arg) + "]: ";
    const DWORD started = GetTickCount();

    if (name == "reset") {
      // The programmer restarted between two chips: reported, the next
      // press meets the download guard, and a download brings the code back.
      Check(WaitStatus(p, kResetText, 10000) && StatusRed(p), tag + "the reset shows in red");
      PressAuto(p);
      HWND box = p.WaitForDialog(kWarningCaption, kEffectMs);
      Check(box != nullptr && DialogMessage(box) == kNoCodeText, tag + "auto meets message W");
      if (box != nullptr) AnswerBox(p, box, IDOK);
      Click(p.Control(ctl::kDownload));
      {
        const bool ok = WaitChecksum(p, sum, 60000);
        Check(ok, tag + "the download restores the code: " + StatusU8(p));
      }
    } else {
      const Expected want = ExpectFor(name, arg, direct);
      Check(want.status != L"?", tag + "a fault the table knows");
      Check(StartAuto(p), tag + "自动编程 starts a run");
      Check(Answers(p), tag + "the window answers while the run works");
      if (!want.box_caption.empty()) {
        HWND box = p.WaitForDialog(want.box_caption, 30000);
        Check(box != nullptr && DialogMessage(box).rfind(want.box_text, 0) == 0,
              tag + "the box " + U8(want.box_caption) + " says " +
                  (box ? U8(DialogMessage(box)) : std::string("nothing")));
        if (box != nullptr) AnswerBox(p, box, IDOK);
      }
      {
        const bool ok = WaitStatus(p, want.status, 60000);
        Check(ok, tag + "ends with " + U8(want.status) + " (shows " + StatusU8(p) + ")");
      }
      pass += want.pass;
      fail += want.fail;
      {
        const bool ok =
            WaitFor([&] { return Box(p, ctl::kPassBox) == Count(pass, 6) || pass == 0; },
                    kEffectMs) &&
            WaitFor([&] { return Box(p, ctl::kFailBox) == Count(fail, 5) || fail == 0; },
                    kEffectMs);
        Check(ok, tag + "the counts read " + TextU8(p.Control(ctl::kPassBox)) + "/" +
                      TextU8(p.Control(ctl::kFailBox)));
      }
      Check(want.pass ? StatusBlue(p) : StatusRed(p), tag + (want.pass ? "in blue" : "in red"));
      if (name == "silent") {
        // A programmer that could not be reached may come back as another
        // one: its memory is not trusted until the code is downloaded again.
        Check(Box(p, ctl::kChecksumBox) == L"XXXX", tag + "the checksum box no longer shows a sum");
        Sim("fault none");
        Click(p.Control(ctl::kDownload));
        const bool ok = WaitChecksum(p, sum, 60000);
        Check(ok, tag + "a download brings the code back: " + StatusU8(p));
      }
    }
    Check(Answers(p) && p.WaitForExit(0) < 0, tag + "the window answers and runs");
    const DWORD took = GetTickCount() - started;
    total += took;
    slowest = std::max(slowest, took);
    if (Failures() != failures_before) ++bad_runs;
    if (run % 10 == 0 || run == runs) {
      std::printf("# %d runs, %d with a failed check; counts %u/%u\n", run, bad_runs, pass, fail);
      std::fflush(stdout);
    }
    if (p.WaitForExit(0) >= 0) break;  // it crashed: nothing more to drive
  }
  Shot("reliability_end", p.main());
  std::printf("# faults drawn:");
  for (const auto& [fault, n] : drawn) std::printf(" %s=%d", fault.c_str(), n);
  std::printf("\n# runs %d, bad %d, mean %lu ms, slowest %lu ms, counts %u passed %u failed\n",
              runs, bad_runs, runs ? total / runs : 0, slowest, pass, fail);
  Check(bad_runs == 0, std::to_string(runs) + " runs, every check held");
  return Quit(p) == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: journey_driver journey|anyport|reliability ZVP_EXE SIGNAL_DIR [RUNS]\n");
    return 2;
  }
  const std::wstring phase = argv[1];
  SetSignalDirectory(argv[3]);
  int status = 2;
  if (phase == L"journey") {
    status = PhaseJourney(argv[2]);
  } else if (phase == L"anyport") {
    status = PhaseAnyPort(argv[2]);
  } else if (phase == L"reliability") {
    status = PhaseReliability(argv[2], argc > 4 ? _wtoi(argv[4]) : 200);
  } else {
    std::fprintf(stderr, "unknown phase\n");
    return 2;
  }
  std::printf("%s: %d passed, %d failed\n", win::Narrow(phase).c_str(), Passes(), Failures());
  std::fflush(stdout);
  return Failures() == 0 && status == 0 ? 0 : 1;
}
