// The POSIX port against real pseudo-terminals: the test plays the programmer
// on the master side, the port opens the slave as "COM1".
#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "posix/serial_posix.h"
#include "posix/termios_line.h"
#include "posix/thread_priority_posix.h"
#include "tests/support/uart_model.h"

namespace zvp {
namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

void Pause(int ms) {
  std::this_thread::sleep_for(milliseconds(ms));
}

// Runs body and returns the milliseconds it took.
template <typename Body>
double TimeMs(Body body) {
  auto start = std::chrono::steady_clock::now();
  body();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

class Pty {
 public:
  Pty() {
    fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (fd_ >= 0 && grantpt(fd_) == 0 && unlockpt(fd_) == 0 &&
        ptsname_r(fd_, name, sizeof name) == 0) {
      path_ = name;
    }
  }
  ~Pty() { Hangup(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  const std::string& path() const { return path_; }
  void Send(const Bytes& bytes) {
    ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  }
  // What arrives within timeout_ms, up to n bytes.
  Bytes Receive(size_t n, int timeout_ms) {
    Bytes out(n);
    size_t have = 0;
    pollfd p{fd_, POLLIN, 0};
    while (have < n && poll(&p, 1, timeout_ms) == 1) {
      ssize_t k = read(fd_, out.data() + have, n - have);
      if (k <= 0) break;
      have += size_t(k);
    }
    out.resize(have);
    return out;
  }
  // The slave's settings, as the device side sees them.
  termios Line() const {
    termios tio{};
    tcgetattr(fd_, &tio);
    return tio;
  }
  void Hangup() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
  std::string path_;
};

class PosixSerialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(device_.path().empty());
    port_.MapName("COM1", device_.path());
    ASSERT_EQ(port_.Handle(), PortHandle::kNone);
    ASSERT_TRUE(port_.Open("COM1"));
  }
  struct Reading {
    bool ok = false;
    Bytes got;
    double ms = 0;
  };
  // One read of n bytes under t.
  Reading TimedRead(CommTimeouts t, uint32_t n) {
    EXPECT_TRUE(port_.SetTimeouts(t));
    Reading r;
    r.got.assign(n, 0);
    uint32_t count = 0;
    r.ms = TimeMs([&] { r.ok = port_.Read(r.got.data(), n, &count); });
    r.got.resize(count);
    return r;
  }

  Pty device_;
  PosixSerialPort port_;
};

TEST_F(PosixSerialTest, SilentDeviceEndsReadAtTheTotalTimeout) {
  struct Case {
    CommTimeouts t;
    uint32_t n;
    double nominal_ms;
  } cases[] = {{{9, 50, 9, 50, 9}, 1, 59}, {{5, 5, 5, 5, 5}, 1, 10}, {{0, 10, 20, 0, 0}, 4, 60}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nominal_ms);
    Reading r = TimedRead(c.t, c.n);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.got.empty());
    EXPECT_GE(r.ms, 0.8 * c.nominal_ms);
    EXPECT_LE(r.ms, c.nominal_ms + 80);
  }
}

TEST_F(PosixSerialTest, IntervalTimeoutRunsFromTheLastByteOnly) {
  // A pause longer than the interval ends the read with what came before it.
  std::thread burst([&] {
    device_.Send({1, 2, 3, 4, 5});
    Pause(40);
    device_.Send({6, 7, 8, 9, 10});
  });
  Reading r = TimedRead({9, 50, 9, 50, 9}, 20);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.got, (Bytes{1, 2, 3, 4, 5}));
  burst.join();
  EXPECT_EQ(TimedRead({9, 50, 9, 50, 9}, 5).got, (Bytes{6, 7, 8, 9, 10}));

  // Before the first byte the interval does not run: with no total limit the
  // read waits for the late device.
  std::thread late([&] {
    Pause(50);
    device_.Send({0x55, 0xAA});
  });
  r = TimedRead({9, 0, 0, 0, 0}, 2);
  late.join();
  EXPECT_EQ(r.got, (Bytes{0x55, 0xAA}));
  EXPECT_GE(r.ms, 40);
}

TEST_F(PosixSerialTest, ReadReturnsAsSoonAsAllBytesAreIn) {
  std::thread answer([&] {
    Pause(30);
    device_.Send({'S', 'T', 'A', 'R', 'O', 'K'});
  });
  Reading r = TimedRead({9, 50, 5000, 50, 9}, 6);
  answer.join();
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.got, (Bytes{'S', 'T', 'A', 'R', 'O', 'K'}));
  EXPECT_LE(r.ms, 30 + 80);

  // Interval MAXDWORD with no totals takes what is there without waiting.
  device_.Send({7, 8});
  Pause(20);
  r = TimedRead({0xFFFFFFFF, 0, 0, 0, 0}, 10);
  EXPECT_EQ(r.got, (Bytes{7, 8}));
  EXPECT_LE(r.ms, 50);
}

TEST_F(PosixSerialTest, OtherEndClosingEndsTheReadAsAFailure) {
  std::thread vanish([&] {
    device_.Send({1, 2, 3});
    Pause(100);
    device_.Hangup();
  });
  Reading r = TimedRead({0, 0, 5000, 0, 0}, 10);
  vanish.join();
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.got, (Bytes{1, 2, 3}));
  EXPECT_LE(r.ms, 600);

  // The port stays open but every call that needs the device now fails.
  uint32_t done = 1;
  EXPECT_FALSE(port_.Write(r.got.data(), 3, &done));
  EXPECT_EQ(done, 0u);
  EXPECT_FALSE(port_.SetupQueues(1024, 1024));
  EXPECT_FALSE(port_.ClearErrors());
  EXPECT_FALSE(port_.WaitTxEmpty(50));
}

TEST_F(PosixSerialTest, WritesReachTheDeviceAndTimeOutWhenItStopsTakingThem) {
  Bytes block(600);
  for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i * 7);
  uint32_t done = 0;
  ASSERT_TRUE(port_.Write(block.data(), uint32_t(block.size()), &done));
  EXPECT_EQ(done, block.size());
  EXPECT_EQ(device_.Receive(block.size(), 500), block);

  // Nobody reads: the pty's buffer fills and the write constant ends the call.
  Bytes flood(1 << 20, 0x5A);
  ASSERT_TRUE(port_.SetTimeouts({0, 0, 0, 0, 50}));
  bool ok = false;
  double ms = TimeMs([&] { ok = port_.Write(flood.data(), uint32_t(flood.size()), &done); });
  EXPECT_TRUE(ok);
  EXPECT_GT(done, 0u);
  EXPECT_LT(done, flood.size());
  EXPECT_GE(ms, 40);
  EXPECT_LE(ms, 50 + 80);
}

// A real line behind the port: the pseudo-terminal only gives the open a
// device, the bytes go to a UART model at 19200 baud.
TEST(PosixSerialLineTest, WritesReturnWithAFewBytesLeftInTheDriverQueueAndAPurgeLosesNone) {
  Pty device;
  test::UartModel uart;
  PosixSerialPort port(&uart);
  port.MapName("COM1", device.path());
  ASSERT_TRUE(port.Open("COM1"));
  const double byte_ms =
      std::chrono::duration<double, std::milli>(test::UartModel::kByteTime).count();
  Bytes sent;  // what the writes reported as sent, in order
  uint8_t next = 0;
  auto write = [&](uint32_t n, uint32_t* done) {
    Bytes block(n);
    for (uint8_t& b : block) b = next++;
    const bool ok = port.Write(block.data(), n, done);
    sent.insert(sent.end(), block.begin(), block.begin() + *done);
    return ok;
  };
  uint32_t done = 0;

  // Block writes as the link makes them, then the purge that opens the next
  // exchange.
  ASSERT_TRUE(port.SetTimeouts({9, 50, 9, 50, 9}));
  for (uint32_t n : {255u, 255u, 21u}) {
    EXPECT_TRUE(write(n, &done));
    EXPECT_EQ(done, n);
    // The write returned with no more than a few bytes left in the driver's
    // queue, the UART still sending (as the Windows driver completes a write
    // once the UART has it): the next write finds the line busy, not idle.
    EXPECT_LE(uart.Seen().queued, 3) << n;
    EXPECT_TRUE(uart.Seen().shifting) << n;
  }
  // The purge lets the UART finish first.
  EXPECT_TRUE(port.Purge());
  EXPECT_EQ(uart.Line(), sent);

  // The download's stream of 3-byte writes: most return at once, the others
  // wait for the queue, but not much longer, or the stream would fall
  // behind the line; none leaves the driver more than 12 bytes.
  ASSERT_TRUE(port.SetTimeouts({9, 9, 9, 9, 9}));
  const int writes = 200;
  int most_queued = 0;
  double ms = TimeMs([&] {
    for (int i = 0; i < writes; ++i) {
      write(3, &done);
      most_queued = std::max(most_queued, uart.Seen().queued);
    }
  });
  // Writes that return with bytes still queued are what spare the thread a
  // wake-up for each of them.
  EXPECT_GT(most_queued, 3);
  EXPECT_LE(most_queued, 12);
  EXPECT_TRUE(port.Purge());
  EXPECT_EQ(uart.Line(), sent);
  EXPECT_LE(ms, writes * 3 * byte_ms * 1.15 + 20);

  // The write time-out ends the wait, as on Windows: the count that went out
  // and no failure. The bytes not counted never reach the line.
  ASSERT_TRUE(port.SetTimeouts({0, 0, 0, 0, 30}));
  ms = TimeMs([&] { EXPECT_TRUE(write(255, &done)); });
  EXPECT_LT(done, 255u);
  EXPECT_GE(done, uint32_t(0.7 * 30 / byte_ms));
  EXPECT_LE(ms, 30 + 40);
  Pause(15);  // what the UART's FIFO still held when the write returned
  EXPECT_EQ(uart.Line(), sent);

  // A wedged line with no time-out set: the driver takes a first few bytes,
  // the write after them gives up within about a second rather than hold the
  // user's stop back for ever, and counts none of them as sent.
  uart.Stall();
  ASSERT_TRUE(port.SetTimeouts({}));
  bool ok = true;
  ms = TimeMs([&] { ok = write(10, &done) && write(10, &done); });
  EXPECT_FALSE(ok);
  EXPECT_LE(done, 1u);
  EXPECT_LE(ms, 1500);
}

TEST_F(PosixSerialTest, OpenSetsTheProgrammersLineAndSetLineChangesIt) {
  // The pty driver keeps every bit but PARENB and the character size, which it
  // forces to "no parity, 8 bits"; those two are checked on the record below.
  termios line = device_.Line();
  EXPECT_EQ(cfgetospeed(&line), speed_t(B19200));
  EXPECT_EQ(cfgetispeed(&line), speed_t(B19200));
  EXPECT_EQ(line.c_cflag & (CMSPAR | PARODD | CSTOPB | CSIZE | CRTSCTS), tcflag_t(CMSPAR | CS8));
  EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
  EXPECT_EQ((line.c_iflag & (IXON | IXOFF | INPCK | ICRNL)) | (line.c_lflag & (ICANON | ECHO)) |
                (line.c_oflag & OPOST) | line.c_cc[VMIN] | line.c_cc[VTIME],
            0u);

  termios raw{};
  cfmakeraw(&raw);
  raw.c_iflag |= INPCK;
  ASSERT_TRUE(ApplyLineDefinition("baud=19200 parity=S data=8 stop=1", &raw));
  EXPECT_EQ(raw.c_cflag & (PARENB | CMSPAR | PARODD | CSTOPB | CSIZE),
            tcflag_t(PARENB | CMSPAR | CS8));
  EXPECT_EQ(raw.c_iflag & INPCK, 0u);
  ASSERT_TRUE(ApplyLineDefinition("parity=m data=7", &raw));
  EXPECT_EQ(raw.c_cflag & (PARENB | CMSPAR | PARODD | CSIZE),
            tcflag_t(PARENB | CMSPAR | PARODD | CS7));
  EXPECT_EQ(cfgetospeed(&raw), speed_t(B19200));  // left out, so kept

  // Applied again on every operation, also when nothing changes.
  for (int i = 0; i < 2; ++i)
    EXPECT_TRUE(port_.SetLine({false, false, "baud=19200 parity=S data=8 stop=1"}));
  // Parity checking asked for still leaves INPCK off: with it, Linux would
  // hand the reader 0x00 for a byte with a parity error, where the Windows
  // driver passes the byte as received.
  ASSERT_TRUE(port_.SetLine({true, false, "baud=9600 parity=E data=8 stop=2"}));
  line = device_.Line();
  EXPECT_EQ(cfgetospeed(&line), speed_t(B9600));
  EXPECT_EQ(line.c_cflag & (CMSPAR | PARODD | CSTOPB), tcflag_t(CSTOPB));
  EXPECT_EQ(line.c_iflag & (INPCK | IGNPAR | PARMRK), 0u);

  for (const char* bad : {"", "baud=19201", "parity=X", "data=9", "stop=1.5", "flow=on",
                          "baud=19200 parity", "=8", "baud=19200,parity=S"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(port_.SetLine({false, false, bad}));
  }
  line = device_.Line();
  EXPECT_EQ(cfgetospeed(&line), speed_t(B9600));
  EXPECT_NE(line.c_cflag & CSTOPB, 0u);
}

TEST_F(PosixSerialTest, ModemCallsThePtyLacksStillSucceedAndPurgeDropsInput) {
  EXPECT_TRUE(port_.SetupQueues(1024, 1024));
  EXPECT_TRUE(port_.ClearErrors());
  EXPECT_TRUE(port_.ClearBreak());
  EXPECT_TRUE(port_.RaiseRts());  // TIOCMBIS: ENOTTY on a pty
  EXPECT_TRUE(port_.WatchTxEmpty());
  EXPECT_TRUE(port_.WaitTxEmpty(100));

  device_.Send({1, 2, 3, 4});
  Pause(20);
  EXPECT_TRUE(port_.Purge());
  Reading r = TimedRead({0xFFFFFFFF, 0, 0, 0, 0}, 4);
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(r.got.empty());

  // What the link looks at before a purge: the bytes that came, at once,
  // whatever the time-outs in force say; nothing waiting is no failure.
  ASSERT_TRUE(port_.SetTimeouts({0, 0, 5000, 0, 0}));
  device_.Send({5, 6, 7, 8, 9});
  Pause(20);
  Bytes got(16, 0);
  uint32_t count = 0;
  double ms = TimeMs([&] { EXPECT_TRUE(port_.ReadWaiting(got.data(), 3, &count)); });
  EXPECT_EQ(Bytes(got.begin(), got.begin() + count), (Bytes{5, 6, 7}));
  ms += TimeMs([&] { EXPECT_TRUE(port_.ReadWaiting(got.data(), 16, &count)); });
  EXPECT_EQ(Bytes(got.begin(), got.begin() + count), (Bytes{8, 9}));
  ms += TimeMs([&] { EXPECT_TRUE(port_.ReadWaiting(got.data(), 16, &count)); });
  EXPECT_EQ(count, 0u);
  EXPECT_LT(ms, 50);
  // A terminal whose other end has gone fails it, as it fails a read.
  device_.Hangup();
  EXPECT_FALSE(port_.ReadWaiting(got.data(), 16, &count));
  EXPECT_EQ(count, 0u);
}

TEST(PosixSerialOpenTest, FailedOpensLeaveTheInvalidHandleAndSayWhyAndTheLockIsExclusive) {
  PosixSerialPort port;
  uint8_t byte = 0;
  uint32_t count = 7;
  EXPECT_FALSE(port.Read(&byte, 1, &count));
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(port.SetTimeouts({}));
  EXPECT_EQ(port.OpenError(), "");

  // What a user gets wrong: a missing adapter, a name with no device, a file
  // or a folder instead of a serial line.
  char file[] = "/tmp/zvp-serial-XXXXXX";
  const int file_fd = mkstemp(file);
  ASSERT_GE(file_fd, 0);
  close(file_fd);
  char folder[] = "/tmp/zvp-serial-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  port.MapName("COM1", "/nonexistent/ttyZ");
  const std::string not_serial = ": not a serial line";
  // The kind of failure tells the window which of its texts to show.
  struct Case {
    std::string name, error;
    OpenFailure failure;
  } cases[] = {
      {"COM1", "/nonexistent/ttyZ: no such device", OpenFailure::kNoSuchPort},
      {"COM9", "COM9: not a port name this program knows", OpenFailure::kNoSuchPort},
      {"/dev/null", "/dev/null" + not_serial, OpenFailure::kOther},
      {file, file + not_serial, OpenFailure::kOther},
      {folder, folder + not_serial, OpenFailure::kOther},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bool ok = true;
    EXPECT_LE(TimeMs([&] { ok = port.Open(c.name); }), 50);
    EXPECT_FALSE(ok);
    EXPECT_EQ(port.Handle(), PortHandle::kInvalid);
    EXPECT_EQ(port.OpenError(), c.error);
    EXPECT_EQ(port.LastOpenFailure(), c.failure);
    EXPECT_FALSE(port.SetupQueues(1024, 1024));
  }
  unlink(file);
  rmdir(folder);
  port.Close();
  EXPECT_EQ(port.Handle(), PortHandle::kNone);

  Pty a, b;
  PosixSerialPort other;
  port.MapName("com1", a.path());
  port.MapName("COM2", b.path());
  other.MapName("COM1", a.path());
  ASSERT_TRUE(port.Open("COM1"));
  EXPECT_EQ(port.OpenError(), "");
  EXPECT_FALSE(other.Open("COM1"));
  EXPECT_EQ(other.Handle(), PortHandle::kInvalid);
  EXPECT_EQ(other.OpenError(), a.path() + ": in use by another program");
  EXPECT_EQ(other.LastOpenFailure(), OpenFailure::kInUse);
  EXPECT_EQ(port.LastOpenFailure(), OpenFailure::kNone);
  // Opening another port releases the first.
  ASSERT_TRUE(port.Open("COM2"));
  EXPECT_TRUE(other.Open("COM1"));
  EXPECT_EQ(other.OpenError(), "");
  EXPECT_EQ(port.DevicePath("COM3"), "/dev/ttyS2");
}

TEST(PosixThreadPriorityTest, ReportsWhetherTheThreadRunsRealTime) {
  std::thread worker([] {
    bool raised = PosixThreadPriority().RaiseCurrentToTimeCritical();
    int policy = -1;
    sched_param param{};
    ASSERT_EQ(pthread_getschedparam(pthread_self(), &policy, &param), 0);
    EXPECT_EQ(policy, raised ? SCHED_FIFO : SCHED_OTHER);
  });
  worker.join();
}

}  // namespace
}  // namespace zvp
