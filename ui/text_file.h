// A text file written line by line, where every line is pushed to the file
// at once, so that a failed write (a full disk, /dev/full, a vanished
// drive) is noticed at the line it hits rather than lost in silence.
#pragma once

#include <fstream>
#include <mutex>
#include <string>

namespace zvp {

class TextFile {
 public:
  enum class Mode { kAppend, kReplace };

  // Opens `utf8_path` (UTF-8, so Chinese names open everywhere). Returns an
  // empty text on success, otherwise why it cannot be written ("No such
  // file or directory", "Is a directory", ...).
  std::string Open(const std::string& utf8_path, Mode mode);
  bool IsOpen() const { return out_.is_open(); }
  // True when the file held nothing before this program wrote to it.
  bool WasEmpty() const { return was_empty_; }

  // Writes `text` as it stands (the caller adds the line end) and pushes it
  // to the file. False, with Error() saying why, once a write failed; every
  // later write fails too. Safe to call from several threads.
  bool Write(const std::string& text);
  std::string Error() const;

 private:
  mutable std::mutex mu_;
  std::ofstream out_;
  bool was_empty_ = false;
  std::string error_;
};

}  // namespace zvp
