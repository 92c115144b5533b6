#include "windows/append_file_win32.h"

#include "windows/handles.h"
#include "windows/wide_text.h"
#include "windows/win32.h"

namespace zvp {

using win::HoldsObject;
using win::SystemMessage;
using win::UniqueHandle;
using win::Widen;

namespace {

// The lock covers one byte far beyond any log rather than the file itself:
// Windows locks are binding on reads too, and a spreadsheet that reads the
// day's file while a window adds a line must not be refused. LockFileEx
// takes ranges past the end of a file.
constexpr DWORD kLockOffsetHigh = 0x100;  // 1 TiB
constexpr DWORD kLockBytes = 1;

}  // namespace

struct Win32AppendFile::State {
  UniqueHandle handle;
  bool plain = false;
  bool locked = false;
  std::string error;

  bool Fail(DWORD code) {
    error = SystemMessage(code);
    return false;
  }
  HANDLE h() const { return handle.get(); }
};

Win32AppendFile::Win32AppendFile() : state_(std::make_unique<State>()) {}

Win32AppendFile::~Win32AppendFile() { Close(); }

std::string Win32AppendFile::Open(const std::string& utf8_path) {
  Close();
  State& s = *state_;
  HANDLE h = CreateFileW(Widen(utf8_path).c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    s.Fail(GetLastError());
    return s.error;
  }
  s.handle.reset(h);
  s.plain = GetFileType(h) == FILE_TYPE_DISK;
  s.error.clear();
  return std::string();
}

void Win32AppendFile::Close() {
  State& s = *state_;
  // Closing the handle also gives up its lock.
  s.handle.reset();
  s.plain = false;
  s.locked = false;
}

bool Win32AppendFile::IsPlainFile() const { return state_->plain; }

std::string Win32AppendFile::Lock() {
  State& s = *state_;
  if (!HoldsObject(s.handle)) {
    s.Fail(ERROR_INVALID_HANDLE);
    return s.error;
  }
  OVERLAPPED at{};
  at.OffsetHigh = kLockOffsetHigh;
  // Without LOCKFILE_FAIL_IMMEDIATELY the call waits for the holder.
  if (!LockFileEx(s.h(), LOCKFILE_EXCLUSIVE_LOCK, 0, kLockBytes, 0, &at)) {
    s.Fail(GetLastError());
    return s.error;
  }
  s.locked = true;
  return std::string();
}

void Win32AppendFile::Unlock() {
  State& s = *state_;
  if (!s.locked) return;
  OVERLAPPED at{};
  at.OffsetHigh = kLockOffsetHigh;
  UnlockFileEx(s.h(), 0, kLockBytes, 0, &at);
  s.locked = false;
}

std::optional<AppendFile::End> Win32AppendFile::FindEnd() {
  State& s = *state_;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(s.h(), &size)) {
    s.Fail(GetLastError());
    return std::nullopt;
  }
  End end;
  end.size = static_cast<uint64_t>(size.QuadPart);
  if (end.size == 0) return end;
  LARGE_INTEGER last{};
  last.QuadPart = size.QuadPart - 1;
  char byte = 0;
  DWORD got = 0;
  if (!SetFilePointerEx(s.h(), last, nullptr, FILE_BEGIN) ||
      !ReadFile(s.h(), &byte, 1, &got, nullptr)) {
    s.Fail(GetLastError());
    return std::nullopt;
  }
  if (got != 1) {
    s.Fail(ERROR_HANDLE_EOF);
    return std::nullopt;
  }
  end.last = byte;
  return end;
}

bool Win32AppendFile::Append(std::string_view bytes) {
  State& s = *state_;
  // The end as it is now, under the lock: no one else has moved it since.
  if (s.plain && !SetFilePointerEx(s.h(), LARGE_INTEGER{}, nullptr, FILE_END)) {
    return s.Fail(GetLastError());
  }
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > 0x10000 ? 0x10000 : static_cast<DWORD>(bytes.size());
    DWORD done = 0;
    if (!WriteFile(s.h(), bytes.data(), chunk, &done, nullptr)) return s.Fail(GetLastError());
    if (done == 0) return s.Fail(ERROR_DISK_FULL);
    bytes.remove_prefix(done);
  }
  return true;
}

bool Win32AppendFile::CutBack(uint64_t size) {
  State& s = *state_;
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFilePointerEx(s.h(), at, nullptr, FILE_BEGIN) || !SetEndOfFile(s.h())) {
    return s.Fail(GetLastError());
  }
  return true;
}

std::string Win32AppendFile::Error() const { return state_->error; }

}  // namespace zvp
