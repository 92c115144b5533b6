// The settings-store seam: named values under the program's own key
// ("Software\zelvatool" under the current user's registry on Windows, a small
// file elsewhere). Reads fail (nullopt) when the key or value is missing,
// has the wrong type, or does not fit the reader's buffer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zvp {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual bool OpenForReading() = 0;
  virtual bool OpenForWriting() = 0;  // creates the key when missing
  virtual void Close() = 0;
  // Raw bytes of a value, failing when they do not fit max_bytes.
  virtual std::optional<std::string> ReadBytes(const std::string& name, size_t max_bytes) = 0;
  // Strings are written with their terminating zero.
  virtual bool WriteString(const std::string& name, const std::string& text) = 0;
  virtual bool WriteDword(const std::string& name, uint32_t value) = 0;
};

}  // namespace zvp
