// The window program's own texts that no other part of the system shows:
// the caption, the about box and the greetings. UTF-8; widened at the
// platform call.
#pragma once

#include <string>

namespace zvp::win {

// The main window's caption: product, version and web address; with the
// built-in virtual programmer it says so.
inline constexpr char kWindowCaption[] = "ZVP-V2.0C 编程器控制软件 V2.20C    www.zvp-tool.invalid";
inline constexpr char kSimulatedCaptionSuffix[] = "    [模拟运行: 内置虚拟编程器]";
// Started for one programmer's port (--port COM5), the caption names it, so
// that the windows of a bench tell themselves apart in the taskbar.
inline std::string StartPortCaptionSuffix(int port) {
  return "    [端口 COM" + std::to_string(port) + "]";
}
// A --port that names no port: the window does not start.
inline constexpr char kStartOptionCaption[] = "警 告";

// The about box (the system menu's IDM_ABOUTBOX entry): seven lines, each
// with four blanks before and after.
inline constexpr char kAboutCaption[] = "关于ZVP V2.20C";
inline constexpr char kAboutText[] =
    "    ZVP-V2.0C 编程器控制软件 V2.20C    \n"
    "    出品: ZVP 工具组    \n"
    "    作者: ZVP 开发组    \n"
    "    即时通讯: 未提供    \n"
    "    电子邮件: support@zvp-tool.invalid    \n"
    "    网址: www.zvp-tool.invalid    \n"
    "    版权所有, 保留一切权利。    ";

// F8 while the main window itself has the focus.
inline constexpr char kF8Caption[] = "亲爱的用户:";
inline constexpr char kF8Greeting[] = "感谢您使用 ZVP-V2.0C 编程器控制软件。";

// A double-click on the programmer-memory checksum box.
inline constexpr char kChecksumGreetingCaption[] = "尊敬的用户";
inline constexpr char kChecksumGreeting[] =
    "您好, 欢迎使用 ZVP-V2.0C 编程器!\n"
    "如有任何问题, 请与我们联系, 感谢您的支持!\n"
    "电子邮件: support@zvp-tool.invalid\n"
    "即时通讯: 未提供\n"
    "用户群: 未提供";

}  // namespace zvp::win
