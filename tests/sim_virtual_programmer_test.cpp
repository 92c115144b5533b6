// The virtual programmer behind its port: read time-outs as the Windows comm
// driver applies them, purge, pacing, header framing and the reset message.
#include <cstring>

#include "sim/sim_port.h"
#include "sim/virtual_clock.h"
#include "sim/virtual_programmer.h"
#include <gtest/gtest.h>

namespace zvp {
namespace {

class SimPortTest : public ::testing::Test {
 protected:
  SimPortTest() : port_(&device_, &clock_) { EXPECT_TRUE(port_.Open("COM2")); }

  // Reads n bytes under `t`; returns the virtual time it took in µs.
  int64_t TimedRead(const CommTimeouts& t, uint32_t n, uint32_t* got, uint8_t* buf = nullptr) {
    uint8_t local[512];
    port_.SetTimeouts(t);
    const int64_t t0 = clock_.NowUs();
    EXPECT_TRUE(port_.Read(buf ? buf : local, n, got));
    return clock_.NowUs() - t0;
  }

  VirtualClock clock_;
  VirtualProgrammer device_;
  SimPort port_;
};

TEST_F(SimPortTest, ReadTimeoutsFollowTheTotalFormula) {
  uint32_t got = 0;
  EXPECT_EQ(TimedRead({9, 50, 9, 50, 9}, 1, &got), 59'000);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(TimedRead({5, 5, 5, 5, 5}, 1, &got), 10'000);
  EXPECT_EQ(TimedRead({9, 9, 9, 9, 9}, 1, &got), 18'000);
  EXPECT_EQ(TimedRead({9, 50, 9, 50, 9}, 256, &got), (50 * 256 + 9) * 1000);
}

TEST_F(SimPortTest, IntervalEndsAReadAfterAGapButNotBeforeTheFirstByte) {
  const uint8_t a[] = {1, 2, 3};
  device_.SendRaw(a, 3, 30'000);   // first byte after 30 ms: longer than the interval
  device_.SendRaw(a, 3, 100'000);  // a gap of about 68 ms
  uint32_t got = 0;
  uint8_t buf[16];
  const int64_t took = TimedRead({9, 50, 9, 50, 9}, 10, &got, buf);
  EXPECT_EQ(got, 3u);
  // The read ends 9 ms after the third byte, which arrived at 30 ms + 3 bytes.
  EXPECT_EQ(took, 30'000 + 3 * kByteTimeUs + 9'000);
}

TEST_F(SimPortTest, AFullReadReturnsWhenTheLastByteArrives) {
  const uint8_t a[] = {1, 2, 3, 4};
  device_.SendRaw(a, 4, 0);
  uint32_t got = 0;
  EXPECT_EQ(TimedRead({9, 50, 9, 50, 9}, 4, &got), 4 * kByteTimeUs);
  EXPECT_EQ(got, 4u);
}

TEST_F(SimPortTest, PurgeDropsWhatArrivedButNotWhatIsStillComing) {
  const uint8_t a[] = {1, 2, 3};
  device_.SendRaw(a, 3, 0);
  const uint8_t b[] = {7, 8};
  device_.SendRaw(b, 2, 50'000);
  clock_.SleepUs(10'000);
  ASSERT_TRUE(port_.Purge());
  uint32_t got = 0;
  uint8_t buf[8];
  TimedRead({9, 50, 9, 50, 9}, 8, &got, buf);
  ASSERT_EQ(got, 2u);
  EXPECT_EQ(buf[0], 7);
  EXPECT_EQ(buf[1], 8);
}

TEST_F(SimPortTest, PacedWritesTakeLineTimeAndArriveInOrder) {
  OperationHeader header;
  header.SetMagic();
  header.SetCommand(cmd::kConnect);
  uint32_t done = 0;
  const int64_t t0 = clock_.NowUs();
  ASSERT_TRUE(port_.Write(header.data(), 21, &done));
  EXPECT_EQ(done, 21u);
  EXPECT_EQ(clock_.NowUs() - t0, 21 * kByteTimeUs);
  ASSERT_EQ(device_.headers().size(), 1u);
  // The echo starts after the device's latency and is paced too.
  ASSERT_TRUE(device_.HasOutput());
  EXPECT_EQ(device_.NextOutputTime(), 21 * kByteTimeUs + 1000 + kByteTimeUs);
}

TEST_F(SimPortTest, HeadersAreFoundAfterNoise) {
  const uint8_t noise[] = {0x00, 'S', 'T', 'X', 'S', 'S'};
  uint32_t done = 0;
  port_.Write(noise, sizeof noise, &done);
  uint8_t header[kHeaderSize] = {'T', 'A', 'R'};  // completes the last 'S' into "STAR"
  port_.Write(header, kHeaderSize - 1, &done);
  ASSERT_EQ(device_.headers().size(), 1u);
  EXPECT_EQ(device_.headers()[0][hdr::kMagic], 'S');
  EXPECT_EQ(device_.headers()[0][hdr::kMagic + 3], 'R');
}

TEST_F(SimPortTest, ResetMessageIsNineBytes) {
  device_.SendReset(5'000);
  uint32_t got = 0;
  uint8_t buf[16] = {};
  TimedRead({5, 5, 5, 5, 5}, 9, &got, buf);
  EXPECT_EQ(got, 9u);
  EXPECT_EQ(std::memcmp(buf, kResetMessage, 9), 0);
}

TEST_F(SimPortTest, UnknownNamesAndVanishedPortsFail) {
  port_.SetAvailableNames({"COM1"});
  EXPECT_FALSE(port_.Open("COM2"));
  EXPECT_EQ(port_.Handle(), PortHandle::kInvalid);
  EXPECT_FALSE(port_.SetupQueues(1024, 1024));
  EXPECT_TRUE(port_.Open("COM1"));
  port_.Vanish();
  uint8_t b[4];
  uint32_t n = 0;
  EXPECT_FALSE(port_.Read(b, 4, &n));
  EXPECT_FALSE(port_.Write(b, 4, &n));
  EXPECT_FALSE(port_.ClearErrors());
}

TEST(LineDefinition, AcceptsTheProgrammersLineAndRejectsNonsense) {
  EXPECT_TRUE(ValidLineDefinition("baud=19200 parity=S data=8 stop=1"));
  EXPECT_FALSE(ValidLineDefinition("baud=fast parity=S data=8 stop=1"));
  EXPECT_FALSE(ValidLineDefinition("baud=19200 parity=Q"));
  EXPECT_FALSE(ValidLineDefinition(""));
}

}  // namespace
}  // namespace zvp
