#include "posix/append_file_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zvp {

bool PosixAppendFile::Fail(int error) {
  error_ = error != 0 ? std::strerror(error) : "cannot be written";
  return false;
}

std::string PosixAppendFile::Open(const std::string& utf8_path) {
  Close();
  // The path's bytes as they are: a name that is not UTF-8 still names its
  // file here.
  fd_ = ::open(utf8_path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    Fail(errno);
    return error_;
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    Fail(errno);
    Close();
    return error_;
  }
  plain_ = S_ISREG(st.st_mode);
  error_.clear();
  return std::string();
}

void PosixAppendFile::Close() {
  // Closing the descriptor also gives up its lock.
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  plain_ = false;
}

std::string PosixAppendFile::Lock() {
  // A signal (a Ctrl-C that asks the run to end after this chip) must not
  // cost the line its lock.
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      Fail(errno);
      return error_;
    }
  }
  return std::string();
}

void PosixAppendFile::Unlock() {
  if (fd_ >= 0) ::flock(fd_, LOCK_UN);
}

std::optional<AppendFile::End> PosixAppendFile::FindEnd() {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    Fail(errno);
    return std::nullopt;
  }
  End end;
  end.size = static_cast<uint64_t>(st.st_size);
  if (end.size == 0) return end;
  char last = 0;
  ssize_t got;
  do {
    got = ::pread(fd_, &last, 1, static_cast<off_t>(end.size - 1));
  } while (got < 0 && errno == EINTR);
  if (got != 1) {
    Fail(got < 0 ? errno : EIO);
    return std::nullopt;
  }
  end.last = last;
  return end;
}

bool PosixAppendFile::Append(std::string_view bytes) {
  // A full disk takes part of a write and refuses the rest with the next.
  while (!bytes.empty()) {
    const ssize_t done = ::write(fd_, bytes.data(), bytes.size());
    if (done < 0) {
      if (errno == EINTR) continue;
      return Fail(errno);
    }
    if (done == 0) return Fail(ENOSPC);
    bytes.remove_prefix(static_cast<size_t>(done));
  }
  return true;
}

bool PosixAppendFile::CutBack(uint64_t size) {
  while (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    if (errno != EINTR) return Fail(errno);
  }
  return true;
}

}  // namespace zvp
