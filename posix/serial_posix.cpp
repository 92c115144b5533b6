#include "posix/serial_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <optional>
#include <system_error>
#include <thread>

#include "posix/termios_line.h"

namespace zvp {

namespace {

using SteadyClock = std::chrono::steady_clock;
using TimePoint = SteadyClock::time_point;
using std::chrono::milliseconds;

// The line every open starts with: what the programmer speaks.
constexpr std::string_view kProgrammerLine = "baud=19200 parity=S data=8 stop=1";

constexpr uint32_t kMaxDword = 0xFFFFFFFF;
// A total time-out beyond this (about 35 years) counts as no limit; it also
// keeps the deadline arithmetic clear of overflow when a per-byte factor near
// 2^32 meets a large count.
constexpr uint64_t kLongestLimitMs = uint64_t{1} << 40;

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// The wait that poll() gets until deadline: rounded up to whole milliseconds
// so that it never wakes before the deadline, -1 (no limit) without one, and
// capped so that a far deadline fits an int; the caller loops.
int PollWaitMs(const std::optional<TimePoint>& deadline, TimePoint now) {
  if (!deadline) return -1;
  if (now >= *deadline) return 0;
  auto left = std::chrono::ceil<milliseconds>(*deadline - now).count();
  return static_cast<int>(std::min<decltype(left)>(left, INT_MAX / 2));
}

std::optional<TimePoint> TotalDeadline(TimePoint start, uint32_t per_byte, uint32_t constant,
                                       uint32_t n) {
  if (per_byte == 0 && constant == 0) return std::nullopt;
  const uint64_t ms = uint64_t{per_byte} * n + constant;
  if (ms > kLongestLimitMs) return std::nullopt;
  return start + milliseconds(ms);
}

// Ioctls that a device without the hardware (a pseudo-terminal has no modem
// lines) refuses as not applicable rather than as failed.
bool NotApplicable(int error) {
  return error == ENOTTY || error == EINVAL;
}

// The system's own words for an error, starting in lower case to follow
// "path: ".
std::string SystemText(int error) {
  std::string text = std::system_category().message(error);
  if (!text.empty() && std::isupper(static_cast<unsigned char>(text[0])) &&
      (text.size() < 2 || !std::isupper(static_cast<unsigned char>(text[1])))) {
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  }
  return text;
}

constexpr const char* kInUse = "in use by another program";

// Why open() refused a device, in a user's words where the error is one a
// user meets.
std::string OpenRefusal(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return "no such device";
    case EACCES:
    case EPERM:
      return "permission denied";
    case EISDIR:
      return "not a serial line";
    case EBUSY:  // another program holds the line in exclusive mode (TIOCEXCL)
      return kInUse;
    default:
      return SystemText(error);
  }
}

// Hands tio to the device. A pseudo-terminal's driver forces "8 data bits,
// no parity" whatever it is given, and glibc's tcsetattr reports that as a
// failure (with or without EINVAL) whenever nothing else changed, e.g. when
// the programmer's line is applied a second time. So a refusal counts as
// success when the device now holds everything asked for apart from those
// two settings. TCSANOW, because the draining variants wait for the output
// queue without limit.
bool SetTermios(int fd, const termios& want) {
  if (tcsetattr(fd, TCSANOW, &want) == 0) return true;
  termios have{};
  if (tcgetattr(fd, &have) != 0) return false;
  constexpr tcflag_t kForcedByPty = PARENB | CSIZE;
  return cfgetispeed(&have) == cfgetispeed(&want) && cfgetospeed(&have) == cfgetospeed(&want) &&
         have.c_iflag == want.c_iflag && have.c_oflag == want.c_oflag &&
         have.c_lflag == want.c_lflag &&
         (have.c_cflag & ~kForcedByPty) == (want.c_cflag & ~kForcedByPty) &&
         have.c_cc[VMIN] == want.c_cc[VMIN] && have.c_cc[VTIME] == want.c_cc[VTIME];
}

}  // namespace

namespace {

// What a write may leave in the driver's queue when it returns (see Write).
constexpr int kQueuedAtReturn = 12;
constexpr int kQueuedAfterWait = 3;

// The driver's output queue; a driver that keeps none (ENOTTY and the like)
// counts as empty. False, with errno set, when the device fails.
bool DriverQueue(int fd, int* queued) {
  *queued = 0;
  if (ioctl(fd, TIOCOUTQ, queued) == 0) return true;
  *queued = 0;
  return NotApplicable(errno);
}

// Asks the driver for its queue alone: the line status that OutputBacklog
// adds would cost every check of a write's wait a second system call.
class SystemTransmitCalls final : public PosixSerialPort::TransmitCalls {
 public:
  bool QueuedBytes(int fd, int* queued) override { return DriverQueue(fd, queued); }
};

}  // namespace

PosixSerialPort::TransmitCalls* PosixSerialPort::SystemCalls() {
  static SystemTransmitCalls calls;
  return &calls;
}

ssize_t PosixSerialPort::TransmitCalls::Write(int fd, const uint8_t* buf, size_t n) {
  return write(fd, buf, n);
}

bool PosixSerialPort::TransmitCalls::OutputBacklog(int fd, Backlog* backlog) {
  *backlog = Backlog{};
  if (!DriverQueue(fd, &backlog->queued)) return false;
#ifdef TIOCSERGETLSR
  // An empty queue may still leave the last bytes in the UART's FIFO and
  // shift register; the line status says when the transmitter is idle.
  // Drivers without it (USB adapters, pseudo-terminals) are taken at the
  // queue count.
  unsigned status = 0;
  if (ioctl(fd, TIOCSERGETLSR, &status) == 0) backlog->shifting = (status & TIOCSER_TEMT) == 0;
#endif
  return true;
}

bool PosixSerialPort::TransmitCalls::QueuedBytes(int fd, int* queued) {
  Backlog backlog;
  const bool ok = OutputBacklog(fd, &backlog);
  *queued = backlog.queued;
  return ok;
}

int PosixSerialPort::TransmitCalls::Flush(int fd, int queue_selector) {
  return tcflush(fd, queue_selector);
}

void PosixSerialPort::Fd::Reset(int fd) {
  if (fd_ >= 0) close(fd_);
  fd_ = fd;
}

int PosixSerialPort::Fd::Release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

PosixSerialPort::~PosixSerialPort() {
  Close();
}

void PosixSerialPort::MapName(const std::string& name, const std::string& path) {
  paths_[Upper(name)] = path;
}

std::string PosixSerialPort::DevicePath(const std::string& name) const {
  auto it = paths_.find(Upper(name));
  if (it != paths_.end()) return it->second;
  if (!name.empty() && name[0] == '/') return name;
  const std::string upper = Upper(name);
  if (upper.size() == 4 && upper.compare(0, 3, "COM") == 0 && upper[3] >= '1' && upper[3] <= '4') {
    return "/dev/ttyS" + std::string(1, static_cast<char>(upper[3] - 1));
  }
  return std::string();
}

int PosixSerialPort::OpenDevice(const std::string& path, termios* line, std::string* why,
                                OpenFailure* failure) {
  *failure = OpenFailure::kOther;
  // Non-blocking, so that neither the open (waiting for carrier) nor any read
  // or write can hang; every wait goes through poll() with a deadline.
  Fd fd;
  fd.Reset(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.Valid()) {
    const int error = errno;
    *why = OpenRefusal(error);
    if (error == ENOENT || error == ENODEV || error == ENXIO) *failure = OpenFailure::kNoSuchPort;
    if (error == EBUSY) *failure = OpenFailure::kInUse;
    return -1;
  }
  // Two locks, because neither covers every case: the advisory lock turns
  // away any other user of this adapter, even one running as root; TIOCEXCL
  // turns away unprivileged programs that do not take the advisory lock.
  if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
    const bool held = errno == EWOULDBLOCK;
    *why = held ? kInUse : SystemText(errno);
    if (held) *failure = OpenFailure::kInUse;
    return -1;
  }
  termios tio{};
  if (tcgetattr(fd.Get(), &tio) != 0) {
    *why = NotApplicable(errno) ? "not a serial line" : SystemText(errno);
    return -1;
  }
  if (ioctl(fd.Get(), TIOCEXCL) != 0) {
    *why = SystemText(errno);
    return -1;
  }
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
#ifdef CRTSCTS
  tio.c_cflag &= ~CRTSCTS;
#endif
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  // A read() returns at once with whatever is there; poll() does the waiting.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  errno = 0;
  if (!ApplyLineDefinition(kProgrammerLine, &tio) || !SetTermios(fd.Get(), tio)) {
    *why = "the line settings were refused";
    if (errno != 0) *why += " (" + SystemText(errno) + ")";
    // The exclusive mode would outlive the descriptor.
    ioctl(fd.Get(), TIOCNXCL);
    return -1;
  }
  *line = tio;
  *failure = OpenFailure::kNone;
  return fd.Release();
}

bool PosixSerialPort::Open(const std::string& name) {
  Close();
  const std::string path = DevicePath(name);
  termios line{};
  std::string why = "not a port name this program knows";
  // A name that leads to no device path is no port here.
  open_failure_ = OpenFailure::kNoSuchPort;
  int fd = path.empty() ? -1 : OpenDevice(path, &line, &why, &open_failure_);
  if (fd < 0) {
    open_failed_ = true;
    open_error_ = (path.empty() ? name : path) + ": " + why;
    return false;
  }
  fd_.Reset(fd);
  break_cleared_ = false;
  open_error_.clear();
  byte_time_ = CharacterTime(line);
  // A fresh handle starts without time-outs, as a freshly opened COM port
  // does; the link sets its own before the first transfer.
  timeouts_ = CommTimeouts{};
  return true;
}

std::string PosixSerialPort::OpenError() const {
  return open_error_;
}

void PosixSerialPort::Close() {
  // The exclusive mode stays with the tty, not with this descriptor; drop it
  // so the next program can open the device.
  if (fd_.Valid()) ioctl(fd_.Get(), TIOCNXCL);
  fd_.Reset();
  open_failed_ = false;
}

PortHandle PosixSerialPort::Handle() const {
  if (fd_.Valid()) return PortHandle::kOpen;
  return open_failed_ ? PortHandle::kInvalid : PortHandle::kNone;
}

// Linux has no call that sizes the driver queues, so the request only
// confirms that the device is still there: a removed USB adapter or a
// pseudo-terminal whose other end has gone fails tcgetattr with EIO.
bool PosixSerialPort::SetupQueues(uint32_t, uint32_t) {
  termios tio{};
  return fd_.Valid() && tcgetattr(fd_.Get(), &tio) == 0;
}

// Line errors (parity, framing, overrun) leave no sticky state that blocks
// further transfers on Linux, so there is nothing to reset; the call reports
// whether the device still answers.
bool PosixSerialPort::ClearErrors() {
  termios tio{};
  return fd_.Valid() && tcgetattr(fd_.Get(), &tio) == 0;
}

// The link clears the break before every transfer, some 11,000 times in a
// download. Only TIOCSBRK puts the line in break, and this program never
// sends it (a break that tcsendbreak sends ends by itself); another program
// is locked out while the port is open. So the first call after the open
// clears whatever an earlier user left, and the later ones have nothing to
// clear. A device that has gone is told by ClearErrors, which the link
// calls with this, and by the transfer itself.
bool PosixSerialPort::ClearBreak() {
  if (!fd_.Valid()) return false;
  if (break_cleared_) return true;
  break_cleared_ = ioctl(fd_.Get(), TIOCCBRK) == 0 || NotApplicable(errno);
  return break_cleared_;
}

// A write returns while the UART may still hold its last bytes (see Write);
// the flush would not drop those, but a driver that resets the FIFO with the
// queue would. So the purge first lets the transmitter empty: at most a
// FIFO's worth of byte times after a write, bounded by a generous hardware
// buffer's so that a wedged adapter cannot hold the purge up.
bool PosixSerialPort::Purge() {
  if (!fd_.Valid()) return false;
  constexpr int kLargestTransmitBuffer = 256;  // USB adapters buffer up to a few hundred
  const TimePoint now = SteadyClock::now();
  DrainOutput(now, now + byte_time_ * kLargestTransmitBuffer + milliseconds(10), false, true);
  return calls_->Flush(fd_.Get(), TCIOFLUSH) == 0;
}

bool PosixSerialPort::SetLine(const LineSettings& settings) {
  if (!fd_.Valid()) return false;
  termios tio{};
  if (tcgetattr(fd_.Get(), &tio) != 0) return false;
  // Neither parity_check nor abort_on_error has a termios counterpart: a
  // line error never aborts a transfer here, and a byte that fails its
  // parity check passes unchanged, with or without the check (see
  // ApplyLineDefinition).
  if (!ApplyLineDefinition(settings.definition, &tio)) return false;
  if (!SetTermios(fd_.Get(), tio)) return false;
  byte_time_ = CharacterTime(tio);
  return true;
}

bool PosixSerialPort::SetTimeouts(const CommTimeouts& timeouts) {
  if (!fd_.Valid()) return false;
  timeouts_ = timeouts;
  return true;
}

bool PosixSerialPort::RaiseRts() {
  if (!fd_.Valid()) return false;
  int bits = TIOCM_RTS;
  return ioctl(fd_.Get(), TIOCMBIS, &bits) == 0 || NotApplicable(errno);
}

// There is no event to arm: WaitTxEmpty looks at the output queue itself.
bool PosixSerialPort::WatchTxEmpty() {
  return fd_.Valid();
}

// Watches the output queue rather than calling tcdrain(), which has no
// time-out and never returns when the device stops taking data. A
// pseudo-terminal always reports an empty queue: what the slave writes goes
// straight to the master's input.
bool PosixSerialPort::WaitTxEmpty(uint32_t timeout_ms) {
  if (!fd_.Valid()) return false;
  const TimePoint now = SteadyClock::now();
  return DrainOutput(now, now + milliseconds(timeout_ms), false, true).end == DrainEnd::kEmpty;
}

PosixSerialPort::Drained PosixSerialPort::DrainOutput(TimePoint earliest,
                                                      std::optional<TimePoint> deadline,
                                                      bool stall_guard, bool uart_too,
                                                      int down_to) {
  using Duration = SteadyClock::duration;
  const Duration byte = byte_time_;
  // Far beyond the steps in which a driver's count goes down: USB adapters
  // take their bytes in blocks of up to a few hundred.
  const Duration stall_limit = std::max<Duration>(std::chrono::seconds(1), byte * 1024);
  int least = INT_MAX;
  TimePoint moved = SteadyClock::now();
  for (;;) {
    TransmitCalls::Backlog backlog;
    const bool answered = uart_too ? calls_->OutputBacklog(fd_.Get(), &backlog)
                                   : calls_->QueuedBytes(fd_.Get(), &backlog.queued);
    if (!answered) return {DrainEnd::kFailed, 0};
    if (backlog.queued <= down_to && !(uart_too && backlog.shifting))
      return {DrainEnd::kEmpty, backlog.queued};
    const TimePoint now = SteadyClock::now();
    if (deadline && now >= *deadline) return {DrainEnd::kTimedOut, backlog.queued};
    if (backlog.queued < least) {
      least = backlog.queued;
      moved = now;
    } else if (stall_guard && now - moved >= stall_limit) {
      return {DrainEnd::kStalled, backlog.queued};
    }
    // Sleep about as long as the queued bytes take on the line, and watch
    // the last ones in quarter-byte steps.
    Duration wait =
        std::max<Duration>({earliest - now, byte * (backlog.queued - down_to), byte / 4});
    TimePoint until = now + std::min<Duration>(wait, milliseconds(50));
    if (deadline && *deadline < until) until = *deadline;
    std::this_thread::sleep_until(until);
  }
}

// The Windows read rules: the total time-out runs from the start of the call;
// the interval time-out runs from the last received byte and only once the
// first byte is in. A read that times out succeeds with fewer bytes; only a
// failing device makes it return false.
bool PosixSerialPort::Read(uint8_t* buf, uint32_t n, uint32_t* got) {
  if (got == nullptr) return false;
  *got = 0;
  if (!fd_.Valid() || (buf == nullptr && n > 0)) return false;
  if (n == 0) return true;

  const CommTimeouts& t = timeouts_;
  const TimePoint start = SteadyClock::now();
  // Interval MAXDWORD with both totals 0: take what has arrived and return.
  const bool at_once = t.read_interval == kMaxDword && t.read_per_byte == 0 && t.read_constant == 0;
  // Interval and per-byte MAXDWORD with a constant: wait up to the constant
  // for the first byte, then return with whatever has arrived.
  const bool first_bytes = t.read_interval == kMaxDword && t.read_per_byte == kMaxDword &&
                           t.read_constant > 0 && t.read_constant < kMaxDword;
  std::optional<TimePoint> total;
  if (at_once) {
    total = start;
  } else if (first_bytes) {
    total = start + milliseconds(t.read_constant);
  } else {
    total = TotalDeadline(start, t.read_per_byte, t.read_constant, n);
  }
  const bool use_interval = !at_once && !first_bytes && t.read_interval != 0;
  std::optional<TimePoint> gap_end;  // set once the first byte is in

  uint32_t count = 0;
  auto finish = [&](bool ok) {
    *got = count;
    return ok;
  };
  for (;;) {
    const TimePoint now = SteadyClock::now();
    std::optional<TimePoint> deadline = total;
    if (gap_end && (!deadline || *gap_end < *deadline)) deadline = gap_end;

    pollfd p{fd_.Get(), POLLIN, 0};
    int ready = poll(&p, 1, PollWaitMs(deadline, now));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return finish(false);
    }
    if (ready == 0) {
      if (deadline && SteadyClock::now() >= *deadline) return finish(true);
      continue;  // woke within the rounding of the deadline
    }
    if ((p.revents & POLLNVAL) != 0) return finish(false);
    const bool hangup = (p.revents & (POLLHUP | POLLERR)) != 0;
    if ((p.revents & POLLIN) != 0) {
      ssize_t k = read(fd_.Get(), buf + count, n - count);
      if (k > 0) {
        count += static_cast<uint32_t>(k);
        if (count == n || first_bytes) return finish(true);
        const TimePoint after = SteadyClock::now();
        // Bytes that keep streaming in must not stretch the total time-out.
        if (total && after >= *total) return finish(true);
        if (use_interval) gap_end = after + milliseconds(t.read_interval);
        continue;
      }
      if (k < 0 && (errno == EAGAIN || errno == EINTR) && !hangup) continue;
    }
    // A hung-up terminal reports POLLHUP (and POLLIN) for ever and reads
    // return 0 or EIO: the device has gone, and waiting out the time-out
    // would only spin.
    return finish(false);
  }
}

// The descriptor is non-blocking and VMIN/VTIME are 0, so a read takes what
// the driver holds and returns; poll() with no wait tells an empty queue
// from a terminal that hung up (which fails, as in Read).
bool PosixSerialPort::ReadWaiting(uint8_t* buf, uint32_t n, uint32_t* got) {
  if (got == nullptr) return false;
  *got = 0;
  if (!fd_.Valid() || (buf == nullptr && n > 0)) return false;
  uint32_t count = 0;
  auto finish = [&](bool ok) {
    *got = count;
    return ok;
  };
  while (count < n) {
    pollfd p{fd_.Get(), POLLIN, 0};
    const int ready = poll(&p, 1, 0);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return finish(false);
    }
    if (ready == 0) break;  // nothing more is waiting
    if ((p.revents & POLLNVAL) != 0) return finish(false);
    const bool hangup = (p.revents & (POLLHUP | POLLERR)) != 0;
    if ((p.revents & POLLIN) != 0) {
      const ssize_t k = read(fd_.Get(), buf + count, n - count);
      if (k > 0) {
        count += static_cast<uint32_t>(k);
        continue;
      }
      if (k < 0 && errno == EINTR) continue;
      if (k < 0 && errno == EAGAIN && !hangup) break;
    }
    return finish(false);
  }
  return finish(true);
}

// The next exchange opens with a purge, which waits (bounded) for the driver's
// queue and the UART to empty before it throws anything away, so a write
// need not wait for its bytes to leave: it returns once the driver holds no
// more than a few of them, as the Windows driver completes a write once the
// UART's FIFO has them. The download's stream of 3-byte writes then keeps
// the line busy with one wake-up of the thread every few writes (waiting for
// the UART to empty left the line idle after every write, some 3 % of a
// 32 KiB download; waiting for the queue to empty cost a wake-up per write,
// over 1 % CPU). tcdrain() waits for the transmitter too, but without a
// time-out, and for ever on a wedged adapter.
bool PosixSerialPort::Write(const uint8_t* buf, uint32_t n, uint32_t* done) {
  if (done == nullptr) return false;
  *done = 0;
  if (!fd_.Valid() || (buf == nullptr && n > 0)) return false;
  if (n == 0) return true;

  const TimePoint start = SteadyClock::now();
  const std::optional<TimePoint> deadline =
      TotalDeadline(start, timeouts_.write_per_byte, timeouts_.write_constant, n);
  uint32_t count = 0;
  auto finish = [&](bool ok) {
    *done = count;
    return ok;
  };
  while (count < n) {
    ssize_t k = calls_->Write(fd_.Get(), buf + count, n - count);
    if (k > 0) {
      count += static_cast<uint32_t>(k);
      continue;
    }
    if (k < 0 && errno == EINTR) continue;
    if (k < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return finish(false);
    // The driver queue is full: wait for room, within the total time-out.
    const TimePoint now = SteadyClock::now();
    if (deadline && now >= *deadline) break;
    pollfd p{fd_.Get(), POLLOUT, 0};
    int ready = poll(&p, 1, PollWaitMs(deadline, now));
    if (ready < 0 && errno != EINTR) return finish(false);
    if (ready > 0 && (p.revents & POLLOUT) == 0)
      return finish(false);  // POLLHUP, POLLERR, POLLNVAL
  }

  // The write returns while the driver still holds a few bytes, as a Windows
  // driver completes a write once its bytes are in the UART's FIFO: a stream
  // of small writes then keeps the line busy with one wake-up for every few
  // writes instead of one for each. Below kQueuedAtReturn bytes it returns at
  // once; above, it waits until kQueuedAfterWait are left, enough for the
  // line to stay busy across the caller's next write. The purge that opens
  // the next exchange still waits for the transmitter to empty.
  int queued = 0;
  if (!calls_->QueuedBytes(fd_.Get(), &queued)) return finish(false);
  if (queued <= kQueuedAtReturn) return finish(true);
  const Drained drained = DrainOutput(start, deadline, true, false, kQueuedAfterWait);
  if (drained.end == DrainEnd::kEmpty) return finish(true);
  if (drained.end == DrainEnd::kFailed) return finish(false);
  // Windows drops what a timed-out write has not sent. So does this, so that
  // the count is what the line carries and a caller that sends the rest again
  // sends no byte twice. What the UART itself holds still goes out and counts
  // as sent.
  calls_->Flush(fd_.Get(), TCOFLUSH);
  count -= std::min(count, static_cast<uint32_t>(drained.queued));
  return finish(drained.end == DrainEnd::kTimedOut);
}

}  // namespace zvp
