#include "windows/registry_store.h"

#include <vector>

#include "windows/handles.h"
#include "windows/wide_text.h"
#include "windows/win32.h"

namespace zvp::win {

struct RegistryStore::Key {
  UniqueKey handle;
};

RegistryStore::RegistryStore(std::wstring subkey)
    : subkey_(std::move(subkey)), key_(std::make_unique<Key>()) {}

RegistryStore::~RegistryStore() = default;

bool RegistryStore::IsFlagWord(const std::string& name) {
  return name == "auto" || name == "autocount" || name == "autofunc";
}

bool RegistryStore::OpenForReading() {
  Close();
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, subkey_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  key_->handle.reset(key);
  return true;
}

bool RegistryStore::OpenForWriting() {
  Close();
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, subkey_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE | KEY_READ, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  key_->handle.reset(key);
  return true;
}

void RegistryStore::Close() {
  key_->handle.reset();
}

std::optional<std::string> RegistryStore::ReadBytes(const std::string& name, size_t max_bytes) {
  if (!key_->handle) return std::nullopt;
  const std::wstring value_name = Widen(name);
  const bool word = IsFlagWord(name);
  // The buffer holds max_bytes characters, terminator included: the values
  // that fit are the ones a byte buffer of that size holds in a single-byte
  // code page ("12.0V" does, "3.3V and more" does not).
  std::vector<wchar_t> buffer(max_bytes > 0 ? max_bytes : 1, L'\0');
  DWORD type = REG_NONE;
  DWORD size = static_cast<DWORD>(max_bytes * sizeof(wchar_t));
  const LONG rc = RegQueryValueExW(key_->handle.get(), value_name.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer.data()), &size);
  // ERROR_MORE_DATA: longer than the buffer, which counts as unreadable.
  if (rc != ERROR_SUCCESS) return std::nullopt;
  if (word) {
    if (type != REG_DWORD || size != sizeof(DWORD) || max_bytes < sizeof(DWORD)) {
      return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(buffer.data()), sizeof(DWORD));
  }
  if (type != REG_SZ) return std::nullopt;
  // A text ends at its first zero; one stored without a zero must still
  // leave room for it.
  const size_t chars = size / sizeof(wchar_t);
  size_t length = 0;
  while (length < chars && buffer[length] != L'\0') ++length;
  if (length + 1 > max_bytes) return std::nullopt;
  std::string text = Narrow(std::wstring_view(buffer.data(), length));
  text.push_back('\0');
  return text;
}

bool RegistryStore::WriteString(const std::string& name, const std::string& text) {
  if (!key_->handle) return false;
  const std::wstring value_name = Widen(name);
  const std::wstring wide = Widen(text);
  const DWORD bytes = static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key_->handle.get(), value_name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(wide.c_str()), bytes) == ERROR_SUCCESS;
}

bool RegistryStore::WriteDword(const std::string& name, uint32_t value) {
  if (!key_->handle) return false;
  const std::wstring value_name = Widen(name);
  const DWORD word = value;
  return RegSetValueExW(key_->handle.get(), value_name.c_str(), 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&word), sizeof word) == ERROR_SUCCESS;
}

}  // namespace zvp::win
