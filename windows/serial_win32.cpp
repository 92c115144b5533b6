#include "windows/serial_win32.h"

#include <iterator>
#include <string>

#include "windows/handles.h"
#include "windows/wide_text.h"
#include "windows/win32.h"

namespace zvp {

using win::HoldsObject;
using win::Narrow;
using win::SystemMessage;
using win::UniqueHandle;
using win::Widen;

namespace {

// Gives a claimed port back: the semaphore's one place is free again.
struct ReleasePortClaim {
  void operator()(HANDLE h) const {
    ReleaseSemaphore(h, 1, nullptr);
    CloseHandle(h);
  }
};
using PortClaim = win::Unique<HANDLE, ReleasePortClaim>;

// The port's name as the claim knows it: "\\.\com7" and "COM7" are one port.
std::wstring ClaimName(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  std::wstring name = L"Local\\zvp-serial-port-";
  for (wchar_t c : path.substr(slash == std::wstring::npos ? 0 : slash + 1)) {
    name += (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
  }
  return name;
}

// A semaphore with one place per port name. It goes with the last handle
// to it, so a program that ends without closing the port leaves no claim
// behind. False while another holder (another window, the command line) has
// the place; a semaphore that cannot be made at all leaves the decision to
// the driver.
bool ClaimPort(const std::wstring& path, PortClaim* claim) {
  HANDLE h = CreateSemaphoreW(nullptr, 1, 1, ClaimName(path).c_str());
  if (h == nullptr) return true;
  if (WaitForSingleObject(h, 0) != WAIT_OBJECT_0) {
    CloseHandle(h);
    return false;
  }
  claim->reset(h);
  return true;
}

}  // namespace

struct Win32SerialPort::State {
  // Empty before any open and after Close, the invalid value after a failed
  // open (Handle() tells the two apart).
  UniqueHandle handle;
  // Why the last open failed; empty after a successful one.
  std::string open_error;
  OpenFailure open_failure = OpenFailure::kNone;
  // This program's hold on the port's name while the device is open.
  PortClaim claim;
  // The line state handed to SetCommState. It lives as long as the port
  // object, starts zero-filled and is only ever changed by SetLine, never
  // refreshed from the device, so each configuration starts from what the
  // previous one left.
  DCB dcb{};
};

Win32SerialPort::Win32SerialPort() : state_(std::make_unique<State>()) {
  state_->dcb.DCBlength = sizeof(DCB);
}

Win32SerialPort::~Win32SerialPort() = default;

bool Win32SerialPort::Open(const std::string& name) {
  Close();
  // The device namespace prefix lets names beyond COM9 open as well; a name
  // that already carries it is taken as it is.
  const std::wstring prefix = L"\\\\.\\";
  std::wstring path = Widen(name);
  if (path.compare(0, prefix.size(), prefix) != 0) path = prefix + path;
  if (!ClaimPort(path, &state_->claim)) {
    state_->handle.reset(INVALID_HANDLE_VALUE);
    state_->open_failure = OpenFailure::kInUse;
    state_->open_error = Narrow(path) + ": " + SystemMessage(ERROR_SHARING_VIOLATION);
    return false;
  }
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  const DWORD error = GetLastError();
  state_->handle.reset(h);
  if (HoldsObject(state_->handle)) {
    state_->open_error.clear();
    state_->open_failure = OpenFailure::kNone;
    return true;
  }
  state_->claim.reset();
  state_->open_failure = FailureOf(error);
  state_->open_error = Narrow(path) + ": " + SystemMessage(error);
  return false;
}

OpenFailure Win32SerialPort::FailureOf(unsigned long error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return OpenFailure::kNoSuchPort;
    // Windows answers a port another program has open with access denied;
    // Wine, whose devices are Unix files, with a sharing or lock conflict.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_BUSY:
      return OpenFailure::kInUse;
    default:
      return OpenFailure::kOther;
  }
}

OpenFailure Win32SerialPort::LastOpenFailure() const {
  return state_->open_failure;
}

std::string Win32SerialPort::OpenError() const {
  return state_->open_error;
}

void Win32SerialPort::Close() {
  state_->handle.reset();
  state_->claim.reset();
}

PortHandle Win32SerialPort::Handle() const {
  HANDLE h = state_->handle.get();
  if (h == nullptr) return PortHandle::kNone;
  if (h == INVALID_HANDLE_VALUE) return PortHandle::kInvalid;
  return PortHandle::kOpen;
}

// INVALID_HANDLE_VALUE doubles as the current-process pseudo handle, so it
// must never reach the comm API.
bool Win32SerialPort::Ready() const {
  if (HoldsObject(state_->handle)) return true;
  SetLastError(ERROR_INVALID_HANDLE);
  return false;
}

bool Win32SerialPort::SetupQueues(uint32_t in_bytes, uint32_t out_bytes) {
  return Ready() && SetupComm(state_->handle.get(), in_bytes, out_bytes) != FALSE;
}

bool Win32SerialPort::ClearErrors() {
  if (!Ready()) return false;
  DWORD errors = 0;
  COMSTAT status{};
  return ClearCommError(state_->handle.get(), &errors, &status) != FALSE;
}

bool Win32SerialPort::ClearBreak() {
  return Ready() && ClearCommBreak(state_->handle.get()) != FALSE;
}

bool Win32SerialPort::Purge() {
  constexpr DWORD kAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
  return Ready() && PurgeComm(state_->handle.get(), kAll) != FALSE;
}

bool Win32SerialPort::SetLine(const LineSettings& settings) {
  if (!Ready()) return false;
  DCB& dcb = state_->dcb;
  dcb.DCBlength = sizeof(DCB);
  dcb.fParity = settings.parity_check ? TRUE : FALSE;
  dcb.fAbortOnError = settings.abort_on_error ? TRUE : FALSE;
  // The record starts zero-filled and is never read back from the device, so
  // the flow-control characters would both be 0, and SetCommState refuses a
  // record whose XON and XOFF characters are equal. Flow control stays off;
  // the usual characters only make the record acceptable.
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  std::wstring definition = Widen(settings.definition);
  if (!BuildCommDCBW(definition.c_str(), &dcb)) return false;
  return SetCommState(state_->handle.get(), &dcb) != FALSE;
}

bool Win32SerialPort::SetTimeouts(const CommTimeouts& timeouts) {
  if (!Ready()) return false;
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = timeouts.read_interval;
  t.ReadTotalTimeoutMultiplier = timeouts.read_per_byte;
  t.ReadTotalTimeoutConstant = timeouts.read_constant;
  t.WriteTotalTimeoutMultiplier = timeouts.write_per_byte;
  t.WriteTotalTimeoutConstant = timeouts.write_constant;
  return SetCommTimeouts(state_->handle.get(), &t) != FALSE;
}

bool Win32SerialPort::RaiseRts() {
  return Ready() && EscapeCommFunction(state_->handle.get(), SETRTS) != FALSE;
}

bool Win32SerialPort::WatchTxEmpty() {
  return Ready() && SetCommMask(state_->handle.get(), EV_TXEMPTY) != FALSE;
}

// The transmit-empty wait polls the driver's output queue count rather than
// blocking in WaitCommEvent. On a synchronous handle WaitCommEvent takes no
// time-out: when the queue has drained before the call (a 21-byte header
// often has), the event is already spent and the call sleeps until some
// later, unrelated write, or for ever. Wine, for one, reports the event only
// for a drain it sees while waiting or a write it knows to be pending.
// Moving the wait to a helper thread does not help: a synchronous handle
// serialises its requests, so the pending wait would also hold up the reads
// that follow, and ending it means changing the mask from outside.
// ClearCommError reports the queue count without blocking; the error flags
// it clears are cleared before every transfer anyway. The event mask armed by
// WatchTxEmpty stays in place; it costs nothing.
bool Win32SerialPort::WaitTxEmpty(uint32_t timeout_ms) {
  if (!Ready()) return false;
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(state_->handle.get(), &errors, &status)) return false;
    if (status.cbOutQue == 0) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(1);
  }
}

bool Win32SerialPort::Read(uint8_t* buf, uint32_t n, uint32_t* got) {
  DWORD count = 0;
  bool ok = Ready() && ReadFile(state_->handle.get(), buf, n, &count, nullptr) != FALSE;
  if (got != nullptr) *got = count;
  return ok;
}

bool Win32SerialPort::ReadWaiting(uint8_t* buf, uint32_t n, uint32_t* got) {
  if (got != nullptr) *got = 0;
  if (!Ready()) return false;
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(state_->handle.get(), &errors, &status)) return false;
  const DWORD ask = status.cbInQue < n ? status.cbInQue : n;
  if (ask == 0) return true;
  DWORD count = 0;
  const bool ok = ReadFile(state_->handle.get(), buf, ask, &count, nullptr) != FALSE;
  if (got != nullptr) *got = count;
  return ok;
}

bool Win32SerialPort::Write(const uint8_t* buf, uint32_t n, uint32_t* done) {
  DWORD count = 0;
  bool ok = Ready() && WriteFile(state_->handle.get(), buf, n, &count, nullptr) != FALSE;
  if (done != nullptr) *done = count;
  return ok;
}

}  // namespace zvp
