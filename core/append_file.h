// The append-file seam: a file that several programs add lines to at the
// same time, as two windows (or two command lines) on one PC write the same
// day's production log. Between Lock and Unlock no other process that locks
// the same file reads or writes it, so "is the file new, does it end in a
// line end, add the line, cut back what a failed write left" is one step
// for all of them. Appending alone is not: under the Windows C runtime an
// append is a seek followed by a write, and two programs that both find
// the file empty both write its header.
//
// POSIX: posix/append_file_posix (flock, O_APPEND). Windows:
// windows/append_file_win32 (LockFileEx, a write at the end under the lock).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zvp {

class AppendFile {
 public:
  virtual ~AppendFile() = default;

  // Opens `utf8_path` for reading and appending, creating it when missing
  // and never emptying it; a file already open is closed first. Empty on
  // success, otherwise why it cannot be written ("Is a directory", ...).
  virtual std::string Open(const std::string& utf8_path) = 0;
  virtual void Close() = 0;

  // Whether the open file is a file on a disk, with a size, a last byte and
  // an end to cut back to. A terminal, a pipe or a device is not; there a
  // line just goes out.
  virtual bool IsPlainFile() const = 0;

  // Waits until no other process holds the file, then holds it until
  // Unlock or Close. Empty on success, otherwise why not.
  virtual std::string Lock() = 0;
  virtual void Unlock() = 0;

  struct End {
    uint64_t size = 0;
    char last = '\n';  // the last byte; a line end also when the file is empty
  };
  // Where a plain file ends now; nullopt, with Error(), when that cannot be
  // found out.
  virtual std::optional<End> FindEnd() = 0;

  // Writes all of `bytes` at the end of the file. False, with Error(), when
  // not all of them got there (some may have).
  virtual bool Append(std::string_view bytes) = 0;

  // Cuts a plain file back to its first `size` bytes.
  virtual bool CutBack(uint64_t size) = 0;

  // Why the last call that failed failed, in the system's words.
  virtual std::string Error() const = 0;
};

}  // namespace zvp
