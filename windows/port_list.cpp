#include "windows/port_list.h"

#include <algorithm>

#include "ui/port_choice.h"
#include "windows/handles.h"
#include "windows/wide_text.h"
#include "windows/win32.h"

namespace zvp::win {

std::vector<PresentPort> PresentSerialPorts() {
  std::vector<PresentPort> ports;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return ports;
  }
  UniqueKey owner(key);
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    wchar_t data[64];
    DWORD name_chars = static_cast<DWORD>(std::size(name));
    DWORD data_bytes = sizeof data - sizeof(wchar_t);  // room for a terminator of our own
    DWORD type = REG_NONE;
    const LONG rc = RegEnumValueW(key, i, name, &name_chars, nullptr, &type,
                                  reinterpret_cast<BYTE*>(data), &data_bytes);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS || type != REG_SZ) continue;  // too long, or not a text
    data[data_bytes / sizeof(wchar_t)] = L'\0';
    const auto number = ParsePortNumber(Narrow(data));
    if (!number) continue;
    ports.push_back({*number, Narrow(std::wstring(name, name_chars))});
  }
  std::stable_sort(ports.begin(), ports.end(),
                   [](const PresentPort& a, const PresentPort& b) { return a.number < b.number; });
  return ports;
}

}  // namespace zvp::win
