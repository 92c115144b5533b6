// The virtual programmer's side of the programmer-memory commands (12, 13,
// 14), fed byte by byte, and the pacing port that gives a pseudo-terminal
// the line's pace.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/paced_port.h"
#include "sim/virtual_clock.h"
#include "sim/virtual_programmer.h"

namespace zvp::test {
namespace {

using Bytes = std::vector<uint8_t>;

VirtualProgrammer::Header MakeHeader(uint8_t command, uint32_t first, uint32_t last) {
  VirtualProgrammer::Header h{};
  h.SetMagic();
  h.SetMarker();
  h.SetRange(first, last);
  h.SetCommand(command);
  return h;
}

struct Out {
  Bytes bytes;
  std::vector<int64_t> times;
};

// Everything the programmer sends, with the header's echo taken off.
Out Drain(VirtualProgrammer& d) {
  Out o;
  while (d.HasOutput()) {
    o.times.push_back(d.NextOutputTime());
    o.bytes.push_back(d.PopOutput());
  }
  o.bytes.erase(o.bytes.begin(), o.bytes.begin() + 21);
  o.times.erase(o.times.begin(), o.times.begin() + 21);
  return o;
}

void Send(VirtualProgrammer& d, const VirtualProgrammer::Header& h, int64_t at) {
  for (uint8_t b : h) d.Receive(b, at);
}

TEST(DownloadDevice, StoresTheAnnouncedRangeAndTakesButDropsTheFiller) {
  VirtualProgrammer d;
  d.memory()[0x202] = 0x77;  // just past the filler: never touched
  Send(d, MakeHeader(14, 0x100, 0x1FF), 0);
  // 256 bytes announced, 258 sent (whole groups of three).
  for (uint32_t i = 0; i < 258; ++i) d.Receive(static_cast<uint8_t>(i + 1), 100 + i);
  for (uint32_t a = 0x100; a <= 0x1FF; ++a)
    ASSERT_EQ(d.memory()[a], static_cast<uint8_t>(a - 0x100 + 1)) << a;
  EXPECT_EQ(d.memory()[0x200], 0xFF);
  EXPECT_EQ(d.memory()[0x201], 0xFF);
  EXPECT_EQ(d.memory()[0x202], 0x77);
  // The stream is over: the next bytes are a header again.
  Send(d, MakeHeader(1, 0, 0), 1000);
  ASSERT_EQ(d.headers().size(), 2u);
  EXPECT_EQ(d.headers().back()[hdr::kCommand], cmd::kConnect);
}

TEST(DownloadDevice, StopsTakingAfterTheFaultsCountAndGivesUpOnAStalledPc) {
  VirtualProgrammer d;
  d.faults().stop_stream_after = 4;
  Send(d, MakeHeader(14, 0, 8), 0);
  for (uint8_t i = 0; i < 9; ++i) d.Receive(i, 10);
  EXPECT_EQ((Bytes{d.memory().begin(), d.memory().begin() + 6}), (Bytes{0, 1, 2, 3, 0xFF, 0xFF}));

  // A PC that stops midway: after a long pause its next header is heard.
  d.faults().stop_stream_after = -1;
  Send(d, MakeHeader(14, 0, 0x7FF), 20);
  for (uint8_t i = 0; i < 30; ++i) d.Receive(i, 30);
  Send(d, MakeHeader(1, 0, 0), 30 + 1'500'000);
  EXPECT_EQ(d.headers().size(), 3u);
  EXPECT_EQ(d.headers().back()[hdr::kCommand], cmd::kConnect);
}

TEST(MemorySumDevice, AcknowledgesReportsProgressToTheEndThenTheSum) {
  VirtualProgrammer d;
  d.config().progress_step = 0x1000;
  for (uint32_t a = 0; a < 0x8000; ++a) d.memory()[a] = static_cast<uint8_t>(a);
  uint32_t sum = 0;
  for (uint32_t a = 0x10; a <= 0x7FFF; ++a) sum += static_cast<uint8_t>(a);
  d.faults().sum_offset = 1;
  Send(d, MakeHeader(13, 0x10, 0x7FFF), 0);
  const Out o = Drain(d);
  ASSERT_EQ(o.bytes.size(), 2u + 8 * 3 + 2);
  EXPECT_EQ(o.bytes[0], 'O');
  EXPECT_EQ(o.bytes[1], 'K');
  std::vector<uint32_t> progress;
  for (size_t i = 2; i + 3 <= o.bytes.size() - 2; i += 3)
    progress.push_back(o.bytes[i] << 16 | o.bytes[i + 1] << 8 | o.bytes[i + 2]);
  EXPECT_EQ(progress, (std::vector<uint32_t>{0x1010, 0x2010, 0x3010, 0x4010, 0x5010, 0x6010, 0x7010,
                                             0x7FFF}));
  const uint16_t reported =
      static_cast<uint16_t>(o.bytes[o.bytes.size() - 2] << 8 | o.bytes.back());
  EXPECT_EQ(reported, static_cast<uint16_t>(sum + 1));
  // Summing takes time: the last report comes later than the line alone needs.
  EXPECT_GT(o.times.back(), o.times.front() + 0x7FEF);
}

// ---------------------------------------------------------------------------
// The pacing port

// Records when each write reached it.
class RecordingPort final : public SerialPort {
 public:
  explicit RecordingPort(Clock* clock) : clock_(clock) {}
  bool Open(const std::string&) override { return true; }
  void Close() override {}
  PortHandle Handle() const override { return PortHandle::kOpen; }
  bool SetupQueues(uint32_t, uint32_t) override { return true; }
  bool ClearErrors() override { return true; }
  bool ClearBreak() override { return true; }
  bool Purge() override { return true; }
  bool SetLine(const LineSettings&) override { return true; }
  bool SetTimeouts(const CommTimeouts&) override { return true; }
  bool RaiseRts() override { return true; }
  bool WatchTxEmpty() override { return true; }
  bool WaitTxEmpty(uint32_t) override { return true; }
  bool Read(uint8_t*, uint32_t, uint32_t* got) override {
    *got = 0;
    return true;
  }
  bool ReadWaiting(uint8_t*, uint32_t, uint32_t* got) override {
    *got = 0;
    return true;
  }
  bool Write(const uint8_t*, uint32_t n, uint32_t* done) override {
    arrivals.push_back(clock_->NowUs());
    *done = n;
    return true;
  }
  std::vector<int64_t> arrivals;

 private:
  Clock* clock_;
};

TEST(DownloadPacing, AStreamOfWritesTakesExactlyItsLineTime) {
  VirtualClock clock;
  RecordingPort inner(&clock);
  PacedPort port(&inner, &clock);  // a 16-byte FIFO, woken at 4 bytes
  const uint8_t group[3] = {1, 2, 3};
  uint32_t done = 0;
  // The first five groups fit the FIFO: no time passes, the device has them.
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(port.Write(group, 3, &done));
  EXPECT_EQ(clock.NowUs(), 0);
  EXPECT_EQ(inner.arrivals.size(), 5u);
  // The sixth waits until the FIFO is down to 4 bytes, its own included.
  port.Write(group, 3, &done);
  EXPECT_EQ(clock.NowUs(), (18 - 4) * kByteTimeUs);
  for (int i = 6; i < 100; ++i) port.Write(group, 3, &done);
  // The writer is never behind the line, so the line never idles.
  EXPECT_TRUE(port.WaitTxEmpty(500));
  EXPECT_EQ(clock.NowUs(), 300 * kByteTimeUs);
  EXPECT_EQ(port.bytes_written(), 300u);
  EXPECT_EQ(port.line_busy_us(), 300 * kByteTimeUs);
}

TEST(DownloadPacing, AWriterThatComesBackLateCostsNoLineTimeUntilTheFifoRunsDry) {
  VirtualClock clock;
  RecordingPort inner(&clock);
  PacedPort port(&inner, &clock);
  const uint8_t group[3] = {1, 2, 3};
  uint32_t done = 0;
  // 1 ms of work after each write, 1.7 ms of line per write: the FIFO keeps
  // the line busy.
  for (int i = 0; i < 100; ++i) {
    port.Write(group, 3, &done);
    clock.SleepUs(1'000);
  }
  port.WaitTxEmpty(500);
  EXPECT_EQ(clock.NowUs(), 300 * kByteTimeUs);

  // 20 ms of work: the FIFO ran dry meanwhile and the next bytes start on
  // an idle line.
  clock.SleepUs(20'000);
  const int64_t idle_from = clock.NowUs();
  port.Write(group, 3, &done);
  port.WaitTxEmpty(500);
  EXPECT_EQ(clock.NowUs(), idle_from + 3 * kByteTimeUs);
}

TEST(DownloadPacing, AHeaderLongerThanTheFifoReturnsNearItsEnd) {
  VirtualClock clock;
  RecordingPort inner(&clock);
  PacedPort port(&inner, &clock);
  const uint8_t header[kHeaderSize] = {};
  uint32_t done = 0;
  port.Write(header, kHeaderSize, &done);
  EXPECT_EQ(clock.NowUs(), static_cast<int64_t>(kHeaderSize - 4) * kByteTimeUs);
  // The transmit-empty wait covers the rest.
  EXPECT_FALSE(port.WaitTxEmpty(1));
  EXPECT_TRUE(port.WaitTxEmpty(500));
  EXPECT_EQ(clock.NowUs(), static_cast<int64_t>(kHeaderSize) * kByteTimeUs);
}

}  // namespace
}  // namespace zvp::test
