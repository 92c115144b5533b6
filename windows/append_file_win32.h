// The append-file seam on Windows. The C runtime's append mode is a seek to
// the end followed by a write, two steps another program can come between;
// here every program that adds to the file takes a LockFileEx lock first
// and seeks to the end and writes under it. The file is shared for reading
// and writing (two windows, a spreadsheet reading it) but not for deleting,
// so it cannot vanish under a writer.
#pragma once

#include <memory>
#include <string>

#include "core/append_file.h"

namespace zvp {

class Win32AppendFile final : public AppendFile {
 public:
  Win32AppendFile();
  ~Win32AppendFile() override;
  Win32AppendFile(const Win32AppendFile&) = delete;
  Win32AppendFile& operator=(const Win32AppendFile&) = delete;

  std::string Open(const std::string& utf8_path) override;
  void Close() override;
  bool IsPlainFile() const override;
  std::string Lock() override;
  void Unlock() override;
  std::optional<End> FindEnd() override;
  bool Append(std::string_view bytes) override;
  bool CutBack(uint64_t size) override;
  std::string Error() const override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace zvp
