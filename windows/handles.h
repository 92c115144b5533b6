// Owners of the Win32 handles the Windows code creates (the window program's
// and the serial port's): each handle is released exactly once, when its
// owner goes.
#pragma once

#include <utility>

#include "windows/win32.h"

namespace zvp::win {

template <typename Handle, typename Release>
class Unique {
 public:
  Unique() = default;
  explicit Unique(Handle h) : h_(h) {}
  ~Unique() { reset(); }
  Unique(Unique&& other) noexcept : h_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;

  Handle get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  // Hands the handle to someone who releases it (SetWindowRgn, for one).
  Handle release() { return std::exchange(h_, nullptr); }
  void reset(Handle h = nullptr) {
    if (h_ != nullptr) Release{}(h_);
    h_ = h;
  }

 private:
  Handle h_ = nullptr;
};

struct ReleaseGdiObject {
  void operator()(HGDIOBJ h) const { DeleteObject(h); }
};
struct ReleaseIcon {
  void operator()(HICON h) const { DestroyIcon(h); }
};
struct ReleaseKey {
  void operator()(HKEY k) const { RegCloseKey(k); }
};
struct ReleaseKernelHandle {
  void operator()(HANDLE h) const {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};
struct ReleaseLocal {
  void operator()(void* p) const { LocalFree(p); }
};

using UniqueFont = Unique<HFONT, ReleaseGdiObject>;
using UniqueRegion = Unique<HRGN, ReleaseGdiObject>;
using UniqueBrush = Unique<HBRUSH, ReleaseGdiObject>;
using UniqueIcon = Unique<HICON, ReleaseIcon>;
using UniqueKey = Unique<HKEY, ReleaseKey>;
// A kernel handle. A failed CreateFile answers INVALID_HANDLE_VALUE rather
// than null; the owner keeps that value, so that the caller can still tell a
// failed open from none, and never closes it.
using UniqueHandle = Unique<HANDLE, ReleaseKernelHandle>;

// Whether `h` holds a kernel object: neither empty nor a failed open's
// invalid value.
inline bool HoldsObject(const UniqueHandle& h) {
  return h && h.get() != INVALID_HANDLE_VALUE;
}

}  // namespace zvp::win
