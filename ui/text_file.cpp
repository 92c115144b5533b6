#include "ui/text_file.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>

namespace zvp {

namespace {

std::string Reason(int error) {
  return error != 0 ? std::strerror(error) : "cannot be written";
}

}  // namespace

std::string TextFile::Open(const std::string& utf8_path, Mode mode) {
  std::lock_guard<std::mutex> lock(mu_);
  error_.clear();
  try {
    const std::filesystem::path path(std::u8string(utf8_path.begin(), utf8_path.end()));
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return error_ = Reason(EISDIR);
    const auto flags = std::ios::out | std::ios::binary |
                       (mode == Mode::kAppend ? std::ios::app : std::ios::trunc);
    errno = 0;
    out_.open(path, flags);
    if (!out_.is_open()) return error_ = Reason(errno);
    out_.seekp(0, std::ios::end);
    was_empty_ = out_.tellp() <= 0;
    out_.clear();
  } catch (const std::exception&) {
    // A name that does not convert names no file we could write.
    return error_ = Reason(EINVAL);
  }
  return std::string();
}

bool TextFile::Write(const std::string& text) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!error_.empty() || !out_.is_open()) return false;
  errno = 0;
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  out_.flush();
  if (out_) return true;
  error_ = Reason(errno);
  return false;
}

std::string TextFile::Error() const {
  std::lock_guard<std::mutex> lock(mu_);
  return error_;
}

}  // namespace zvp
