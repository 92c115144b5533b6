// The settings store on the real registry: named values under
// HKEY_CURRENT_USER\Software\zelvatool. Texts are REG_SZ (written with their
// terminating zero), the three flag words ("auto", "autocount", "autofunc")
// REG_DWORD. A value of another type than its name calls for, or one too
// long for the reader's buffer, reads as missing, so the caller's default
// applies.
#pragma once

#include <memory>
#include <string>

#include "core/settings_store.h"

namespace zvp::win {

class RegistryStore final : public SettingsStore {
 public:
  // `subkey` under HKEY_CURRENT_USER; tests pass a key of their own.
  explicit RegistryStore(std::wstring subkey = L"Software\\zelvatool");
  ~RegistryStore() override;
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  bool OpenForReading() override;
  bool OpenForWriting() override;
  void Close() override;
  // Texts come back as UTF-8 with their terminating zero, flag words as their
  // four bytes, low byte first. `max_bytes` is the reader's buffer: a text
  // fits when its characters and the terminator do not exceed it, a word
  // always does.
  std::optional<std::string> ReadBytes(const std::string& name, size_t max_bytes) override;
  bool WriteString(const std::string& name, const std::string& text) override;
  bool WriteDword(const std::string& name, uint32_t value) override;

  // Whether `name` is one of the flag words stored as REG_DWORD.
  static bool IsFlagWord(const std::string& name);

 private:
  struct Key;
  std::wstring subkey_;
  std::unique_ptr<Key> key_;
};

}  // namespace zvp::win
