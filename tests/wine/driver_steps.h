// Steps the window drivers share: the texts the window shows, reading its
// status line, answering its boxes and dialogs, and quitting it.
#pragma once

#include <functional>
#include <string>

#include "tests/wine/window_driver.h"

namespace zvp::driver {

// Texts the window shows.
inline const std::wstring kAskForPort = L"请点击相应的COM端口以启动编程器连接";
inline const std::wstring kChooseOperation = L"请选择编程操作";
inline const std::wstring kConnectedPrefix = L"OK, 已检测到 ZVP-V2.0C 连接在端口 ";
inline const std::wstring kWarningCaption = L"警 告";
inline const std::wstring kNoCodeText =
    L"编程内存中无代码调入,请打开相关的\n代码文件以调入编程代码!";
inline const std::wstring kConfirmCaption = L"确 认";
inline const std::wstring kClearText = L"计数器将被清零!确定吗?";
inline const std::wstring kCounterDialog = L"设置计数器";
inline const std::wstring kGreetingCaption = L"尊敬的用户";
inline const std::wstring kEditDialog = L"编辑代码数据";
inline const std::wstring kAboutCaption = L"关于ZVP V2.20C";
inline const std::wstring kConnectError = L"编程器连接错误,编程器可能正忙,请稍候再试!";
inline const std::wstring kResetText =
    L"OK,检测到 ZVP-V2.0C 已复位!请点击[下载文件代码]按钮以刷新编程器内存代码";

// Long enough for a click to have had its effect under Wine.
constexpr int kEffectMs = 5000;
// How long to watch for something that must not happen.
constexpr int kQuietMs = 800;

std::string U8(const std::wstring& w);

std::string StatusU8(const Program& p);
bool StatusIs(const Program& p, const std::wstring& text);
bool WaitStatus(const Program& p, const std::wstring& text, int ms = kEffectMs);
// The window's region is 700 pixels wide and `height` high.
bool RegionHeight(const Program& p, int height);
// Brings the main window to the front with a click on its bare background
// (left of the port group), where a click does nothing else. With no window
// manager on the test display, Wine does not always hand the activation back
// to the main window when a dialog it owns closes, and the first click on an
// inactive window only activates it.
bool Activate(const Program& p);
// Presses the box's button with the mouse and waits for the box to go.
bool AnswerBox(const Program& p, HWND box, int button);

// Text is smoothed into the background, so its pixels are judged by hue:
// one channel well above the others.
bool Reddish(COLORREF c);
bool Bluish(COLORREF c);
// The status line's text on the screen.
RECT StatusTextArea(const Program& p);

// The box a failed connection shows beside the connection error, saying
// why: caption 警 告, its text starting with "端口 <port> ". Its text (empty
// when no such box came within `ms`), after a screenshot `shot` (none when
// empty) and its OK button.
std::wstring AnswerConnectionBox(const Program& p, const std::wstring& port,
                                 const std::string& shot = "", int ms = 15000);
// The three reasons, as the box's first line names them.
inline const std::wstring kNoSuchPortReason = L" 不存在!";
inline const std::wstring kPortInUseReason = L" 已被其它软件占用!";
inline const std::wstring kNoAnswerReason = L" 已打开, 但编程器没有应答!";

// The system menu's 选择其他串口... with the keyboard: Alt+Space, then up past
// the about entry (the last one) to the entry above it; a screenshot
// `menu_shot` of the open menu (none when empty). The dialog, or nullptr.
inline const std::wstring kPortDialog = L"选择其他串口";
HWND OpenPortDialog(Program& p, const std::string& menu_shot);

// The code view's page has arrived (its section text is on the status line).
bool WaitForPage(const Program& p, int ms);
// "退出编程": the program must end with 0; its exit code.
int Quit(Program& p);
// A file dialog (open or save) opened from the operation worker by `press`
// (pressed again while no dialog shows): the name typed into it is taken.
bool ChooseInFileDialog(Program& p, const std::function<void()>& press, const std::wstring& path,
                        const std::string& shot);
bool ChooseInFileDialog(Program& p, HWND button, const std::wstring& path, const std::string& shot);

}  // namespace zvp::driver
