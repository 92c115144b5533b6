// The append-file seam on POSIX systems: a descriptor opened with O_APPEND,
// so that every write lands at the end whoever wrote last, and flock() for
// the lock, which holds between processes and between two descriptors of
// one process alike (an fcntl lock would not, and would be dropped when any
// descriptor of the file closes).
#pragma once

#include <string>

#include "core/append_file.h"

namespace zvp {

class PosixAppendFile final : public AppendFile {
 public:
  PosixAppendFile() = default;
  ~PosixAppendFile() override { Close(); }
  PosixAppendFile(const PosixAppendFile&) = delete;
  PosixAppendFile& operator=(const PosixAppendFile&) = delete;

  std::string Open(const std::string& utf8_path) override;
  void Close() override;
  bool IsPlainFile() const override { return plain_; }
  std::string Lock() override;
  void Unlock() override;
  std::optional<End> FindEnd() override;
  bool Append(std::string_view bytes) override;
  bool CutBack(uint64_t size) override;
  std::string Error() const override { return error_; }

 private:
  // Keeps the system's words for `error`; false, for the caller to return.
  bool Fail(int error);

  int fd_ = -1;
  bool plain_ = false;
  std::string error_;
};

}  // namespace zvp
