#include "ui/port_choice.h"

#include "core/app_state.h"
#include "ui/control_ids.h"
#include "core/window_controls.h"

namespace zvp {

namespace {

constexpr char kPortGroupCaption[] = "端口";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The number a run of digits spells, when it is 1..256 without a leading
// zero.
std::optional<int> PortDigits(std::string_view digits) {
  if (digits.empty() || digits.size() > 3 || digits[0] == '0') return std::nullopt;
  int n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n > kHighestPortNumber) return std::nullopt;
  return n;
}

}  // namespace

std::optional<int> ParsePortNumber(std::string_view text) {
  // A Chinese input method in full-width mode types "ＣＯＭ７" and the
  // ideographic space; they are the same letters to the technician.
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    if (i + 2 < text.size() && b(0) == 0xEF && (b(1) == 0xBC || b(1) == 0xBD) && b(2) >= 0x80 &&
        b(2) <= 0xBF) {
      const int ascii = (b(1) == 0xBC ? 0x20 : 0x60) + (b(2) & 0x3F);  // U+FF01..U+FF5E
      if (ascii > 0x20 && ascii < 0x7F) {
        plain += static_cast<char>(ascii);
        i += 2;
        continue;
      }
    }
    if (i + 2 < text.size() && b(0) == 0xE3 && b(1) == 0x80 && b(2) == 0x80) {  // U+3000
      plain += ' ';
      i += 2;
      continue;
    }
    plain += text[i];
  }
  std::string_view rest = plain;
  auto skip_blanks = [&] {
    while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
  };
  skip_blanks();
  while (!rest.empty() && IsBlank(rest.back())) rest.remove_suffix(1);
  // The device namespace ("\\.\COM7", as the port is opened) and the
  // old device form with a colon ("COM7:") name the same port.
  if (rest.substr(0, 4) == "\\\\.\\") rest.remove_prefix(4);
  if (!rest.empty() && rest.back() == ':') rest.remove_suffix(1);
  if (rest.size() < 4) return std::nullopt;
  for (int i = 0; i < 3; ++i) {
    const char c = static_cast<char>(rest[i] | 0x20);  // ASCII letters to lower case
    if (c != "com"[i]) return std::nullopt;
  }
  rest.remove_prefix(3);
  skip_blanks();  // "COM 7"
  return PortDigits(rest);
}

std::string PortName(int number) { return "COM" + std::to_string(number); }

std::string NotAPortText(std::string_view typed) {
  constexpr char kAsk[] = "请输入 COM1 到 COM256 之间的端口, 例如 COM7";
  if (typed.find_first_not_of(" \t") == std::string_view::npos) return kAsk;
  return "\"" + std::string(typed) + "\" 不是串口名称!" + kAsk;
}

std::string StoredPortText(int number) { return "com" + std::to_string(number); }

std::optional<int> PortOfStoredText(const std::string& text) {
  if (text.rfind("com", 0) != 0) return std::nullopt;
  return PortDigits(std::string_view(text).substr(3));
}

std::string SettingsKeyFor(int start_port) {
  std::string key = "Software\\zelvatool";
  if (start_port > 0) key += "\\" + PortName(start_port);
  return key;
}

StartOptions ParseStartOptions(const std::vector<std::string>& args) {
  StartOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--simulate") {
      o.simulate = true;
    } else if (args[i] == "--port" || args[i].rfind("--port=", 0) == 0) {
      // "--port=COM5" is the same option: a shortcut written either way
      // must not silently start a window without its port.
      const bool joined = args[i].size() > 6;
      if (!joined && i + 1 >= args.size()) {
        o.error = "启动参数 --port 后缺少端口名, 例如 --port COM5";
        return o;
      }
      const std::string value = joined ? args[i].substr(7) : args[++i];
      const auto n = ParsePortNumber(value);
      if (!n) {
        o.error = "启动参数 --port " + NotAPortText(value);
        return o;
      }
      if (o.port != 0 && o.port != *n) {
        o.error = "启动参数 --port 只能给出一个端口";
        return o;
      }
      o.port = *n;
    }
  }
  return o;
}

std::string PortGroupCaption(int number) {
  return number > 0 ? std::string(kPortGroupCaption) + " " + PortName(number)
                    : std::string(kPortGroupCaption);
}

void SetOtherPort(int number) {
  AppState& app = App();
  if (app.other_port.exchange(static_cast<uint32_t>(number)) == static_cast<uint32_t>(number))
    return;
  Controls().SetText(ctl::kPortGroup, PortGroupCaption(number));
}

}  // namespace zvp
