#include "windows/wide_text.h"

#include <iterator>

#include "windows/win32.h"

namespace zvp::win {

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return std::wstring();
  const int size = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), n);
  return wide;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), n, nullptr, nullptr);
  return utf8;
}

std::string SystemMessage(unsigned long error) {
  wchar_t text[512];
  constexpr DWORD kFlags =
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
  DWORD n =
      FormatMessageW(kFlags, nullptr, error, 0, text, static_cast<DWORD>(std::size(text)), nullptr);
  while (n > 0 && (text[n - 1] == L' ' || text[n - 1] == L'\r' || text[n - 1] == L'\n')) --n;
  if (n == 0) return "error " + std::to_string(error);
  return Narrow(std::wstring(text, n));
}

std::string FirstChars(std::wstring_view wide, size_t max_chars) {
  size_t chars = 0;
  size_t i = 0;
  while (i < wide.size() && chars < max_chars) {
    const bool high = wide[i] >= 0xD800 && wide[i] <= 0xDBFF;
    i += (high && i + 1 < wide.size()) ? 2 : 1;
    ++chars;
  }
  return Narrow(wide.substr(0, i));
}

std::wstring DialogFilter(std::string_view filter) {
  std::wstring wide = Widen(filter);
  for (wchar_t& c : wide) {
    if (c == L'|') c = L'\0';
  }
  // A filter written without its closing "||" still ends the list.
  while (wide.size() < 2 || wide[wide.size() - 1] != L'\0' || wide[wide.size() - 2] != L'\0') {
    wide.push_back(L'\0');
  }
  return wide;
}

}  // namespace zvp::win
