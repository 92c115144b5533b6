// The serial link's primitives against the virtual programmer with virtual
// time: chunk sizes, time-out sets, reply handling, the header exchange and
// what happens when the port is missing or goes away.
#include <cstring>

#include "link/operation_header.h"
#include "link/reset_scan.h"
#include "link/serial_link.h"
#include "tests/support/link_fixture.h"
#include "ui/control_ids.h"
#include "ui/window_choices.h"

namespace zvp::test {
namespace {

std::vector<uint8_t> Counting(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + 1);
  return v;
}

using BlockTransfer = LinkTest;

TEST_F(BlockTransfer, EmptyReceiveReadsNothingAndKeepsTheFaultFlag) {
  OpenQuietly();
  uint8_t buf[4];
  uint32_t count = 99;
  for (bool fault : {false, true}) {
    App().link_fault = fault;
    ReceiveBlock(buf, 0, &count);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(App().link_fault, fault);
  }
  EXPECT_TRUE(Calls("READ").empty());
  // The block time-out set is applied even for an empty block.
  EXPECT_EQ(Calls("TIMEOUTS"), std::vector<std::string>(2, "9 50 9 50 9"));
}

TEST_F(BlockTransfer, ReceiveReadsInChunksOf256) {
  OpenQuietly();
  const auto data = Counting(600);
  DeviceSends(data);
  std::vector<uint8_t> buf(600);
  uint32_t count = 0;
  ReceiveBlock(buf.data(), 600, &count);
  EXPECT_EQ(count, 600u);
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(buf, data);
  const auto reads = Calls("READ");
  ASSERT_EQ(reads.size(), 3u);
  EXPECT_EQ(reads[0].substr(0, 7), "256/256");
  EXPECT_EQ(reads[1].substr(0, 7), "256/256");
  EXPECT_EQ(reads[2].substr(0, 5), "88/88");
}

TEST_F(BlockTransfer, ReceiveStoppingMidwayReportsWhatCameAndSetsTheFault) {
  OpenQuietly();
  DeviceSends(Counting(300));
  std::vector<uint8_t> buf(600);
  uint32_t count = 0;
  ReceiveBlock(buf.data(), 600, &count);
  EXPECT_EQ(count, 300u);
  EXPECT_TRUE(App().link_fault);
}

TEST_F(BlockTransfer, AGapLongerThanTheIntervalEndsAChunkEarlyWithoutFault) {
  OpenQuietly();
  DeviceSends(Counting(10));
  DeviceSends(Counting(10), 30'000);  // 30 ms later: past the 9 ms interval
  std::vector<uint8_t> buf(20);
  uint32_t count = 0;
  ReceiveBlock(buf.data(), 20, &count);
  EXPECT_EQ(count, 20u);
  EXPECT_FALSE(App().link_fault);
  const auto reads = Calls("READ");
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].substr(0, 5), "10/20");
  EXPECT_EQ(reads[1].substr(0, 5), "10/10");
}

TEST_F(BlockTransfer, SendWritesInChunksOf255) {
  OpenQuietly();
  const auto data = Counting(600);
  uint32_t count = 0;
  SendBlock(data.data(), 600, &count);
  EXPECT_EQ(count, 600u);
  EXPECT_FALSE(App().link_fault);
  const auto writes = Calls("WRITE");
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0].substr(0, 7), "255/255");
  EXPECT_EQ(writes[1].substr(0, 7), "255/255");
  EXPECT_EQ(writes[2].substr(0, 5), "90/90");
  // Each chunk is preceded by clearing the line errors.
  const auto names = CallNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "CLEAR"), 3);
  EXPECT_EQ(std::count(names.begin(), names.end(), "BREAK"), 3);
}

using Reply = LinkTest;

TEST_F(Reply, ZeroTriesSetsTheFaultWithoutReading) {
  OpenQuietly();
  uint8_t buf[8];
  std::memset(buf, 0xAA, sizeof buf);
  AwaitReply(buf, sizeof buf, 2, 0);
  EXPECT_TRUE(App().link_fault);
  EXPECT_TRUE(Calls("READ").empty());
  for (uint8_t b : buf) EXPECT_EQ(b, 0);
}

TEST_F(Reply, OneByteReplyMakesNoPause) {
  OpenQuietly();
  DeviceSends({'K', 'X'});
  uint8_t buf[8];
  AwaitReply(buf, sizeof buf, 1, 5);
  EXPECT_EQ(buf[0], 'K');
  EXPECT_EQ(buf[1], 0);
  EXPECT_TRUE(Calls("DELAY").empty());
  EXPECT_EQ(Calls("READ").size(), 1u);
}

TEST_F(Reply, OkIsZeroTerminatedInALargerBuffer) {
  OpenQuietly();
  SetLinkTimeouts(kReplyTimeouts);
  DeviceSends({'O', 'K', 'Z', 'Z'}, 40'000);  // the answer comes after a few tries
  uint8_t buf[32];
  std::memset(buf, 0x11, sizeof buf);
  AwaitReply(buf, sizeof buf, 2, 50);
  EXPECT_FALSE(App().link_fault);
  EXPECT_TRUE(IsReply(buf, kReplyOk));
  for (size_t i = 2; i < sizeof buf; ++i) EXPECT_EQ(buf[i], 0) << i;
  EXPECT_EQ(Calls("DELAY"), std::vector<std::string>{"50"});
  EXPECT_EQ(Calls("READ").back().substr(0, 3), "1/1");  // only the one missing byte
}

TEST_F(Reply, TriesLastEighteenMillisecondsEachWithTheReplySet) {
  OpenQuietly();
  SetLinkTimeouts(kReplyTimeouts);
  uint8_t buf[8];
  const int64_t before = clock_.NowUs();
  AwaitReply(buf, sizeof buf, 2, 30);
  const int64_t waited = clock_.NowUs() - before;
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(Calls("READ").size(), 30u);
  EXPECT_GE(waited, 30 * 18'000);
  EXPECT_LT(waited, 30 * 18'000 + 50'000);
}

TEST_F(Reply, ARestLongerThanTheBufferIsNotReadPastIt) {
  OpenQuietly();
  DeviceSends(Counting(40));
  uint8_t buf[8];
  AwaitReply(buf, sizeof buf, 30, 5);
  EXPECT_EQ(Calls("READ").back().substr(0, 3), "7/7");
}

TEST_F(Reply, AResetMessageIsHeardAcrossReadsButOnlyWhole) {
  struct Case {
    std::string stream;
    bool heard;
  };
  // Read as a 2-byte reply, then a 3-byte one, then whatever waits.
  for (const Case& c : {Case{"STARRESET", true}, Case{"OKSTARRESET", true},
                        Case{"STARRESSTARRESET", true}, Case{"SSSTARRESET", true},
                        Case{"STARRESEX", false}, Case{"STARESET", false},
                        Case{"STAR\x02RESET", false}}) {
    SetUp();
    OpenQuietly();
    DeviceSends(std::vector<uint8_t>(c.stream.begin(), c.stream.end()));
    uint8_t buf[16];
    AwaitReply(buf, sizeof buf, 2, 5);
    AwaitReply(buf, sizeof buf, 3, 5);
    ListenToWaitingInput();
    EXPECT_EQ(App().reset_heard, c.heard) << c.stream;
    EXPECT_EQ(Calls("RESET").size(), c.heard ? 1u : 0u) << c.stream;
  }

  // Split over two chunks of a block read.
  SetUp();
  OpenQuietly();
  std::vector<uint8_t> block(250, 0x00);
  const std::string message = kResetMessage;
  block.insert(block.end(), message.begin(), message.end());
  DeviceSends(block);
  uint8_t data[259];
  uint32_t count = 0;
  ReceiveBlock(data, sizeof data, &count);
  EXPECT_EQ(count, 259u);
  EXPECT_TRUE(App().reset_heard);
}

TEST_F(Reply, TheRestOfAMessageCaughtInTheMiddleIsWaitedFor) {
  OpenQuietly();
  // "ST" came as a reply; the rest of the message is still on the line.
  DeviceSends({'S', 'T'});
  uint8_t buf[16];
  AwaitReply(buf, sizeof buf, 2, 5);
  DeviceSends({'A', 'R', 'R', 'E', 'S', 'E', 'T'}, 2'000);
  ListenToWaitingInput();
  EXPECT_TRUE(App().reset_heard);
  EXPECT_EQ(Calls("DELAY").back(), "10");
}

using HeaderExchange = LinkTest;

TEST_F(HeaderExchange, OpenPortSendsTheConnectHeader) {
  for (int id : {ctl::kChipMtp, ctl::kVdd50, ctl::kVppVcc}) window_->Click(id);
  EXPECT_TRUE(OpenPort("COM1", ReadOperatorChoices()));
  EXPECT_FALSE(App().link_fault);
  ASSERT_EQ(device_.headers().size(), 1u);
  const auto& h = device_.headers()[0];
  EXPECT_EQ(std::string(h.begin(), h.begin() + 4), kHeaderMagic);
  EXPECT_EQ(h.ChipTypeOf(), ChipType::kMtp);
  EXPECT_EQ(h[hdr::kEndMiddle], 0x55);
  EXPECT_EQ(h[hdr::kEndLow], 0x55);
  EXPECT_EQ(h.Marker(), kMarkerValue);
  EXPECT_EQ(h[hdr::kVoltage], 0x81);
  for (size_t i = hdr::kStartHigh; i <= hdr::kEndHigh; ++i) EXPECT_EQ(h[i], 0x55) << i;
  EXPECT_EQ(h[hdr::kCommand], cmd::kConnect);
  EXPECT_EQ(Calls("OPEN"), std::vector<std::string>{"COM1 ok"});
  EXPECT_EQ(Calls("QUEUES").front(), "65536 65536 ok");
}

TEST_F(HeaderExchange, StepsAndTimeoutSetsComeInOrder) {
  OpenQuietly();
  App().header.Fill(0);
  App().header.SetMagic();
  ASSERT_TRUE(BeginLink());
  const std::vector<std::string> expected = {
      "QUEUES", "CLEAR", "BREAK",  "WAITING",  "PURGE", "LINE",     "TIMEOUTS", "RTS", "TIMEOUTS",
      "CLEAR",  "BREAK", "WRITE",  "TXWAIT",   "DELAY", "TIMEOUTS", "CLEAR", "BREAK",
      "READ",   "TIMEOUTS"};
  EXPECT_EQ(CallNames(), expected);
  EXPECT_EQ(Calls("TIMEOUTS"), (std::vector<std::string>{"5 5 5 5 5", "9 50 9 50 9",
                                                         "9 50 9 50 9", "9 9 9 9 9"}));
  EXPECT_EQ(Calls("LINE"), std::vector<std::string>{"baud=19200 parity=S data=8 stop=1"});
  EXPECT_TRUE(sim_port_.line().parity_check);
  EXPECT_FALSE(sim_port_.line().abort_on_error);
  EXPECT_EQ(Calls("WRITE").front().substr(0, 5), "21/21");
  EXPECT_EQ(Calls("READ").front().substr(0, 5), "21/21");
}

TEST_F(HeaderExchange, StaleBytesBeforeTheHeaderArePurgedButAResetAmongThemIsHeard) {
  OpenQuietly();
  // Bytes that nobody read are still in the driver's queue: noise is
  // thrown away.
  DeviceSends({'N', 'O', 'I', 'S', 'E', 'S', 'T', 'A'});
  clock_.SleepUs(20'000);
  App().header.Fill(0);
  App().header.SetMagic();
  ASSERT_TRUE(BeginLink());
  EXPECT_EQ(Calls("WAITING").front(), "8/256 4E4F495345535441");
  EXPECT_EQ(Calls("READ").front().substr(6, 8), "53544152");  // the echo, not the noise
  EXPECT_EQ(Calls("READ").front().substr(14, 2), "00");
  EXPECT_FALSE(App().reset_heard);

  // A reset message, whole or with its start left from an earlier read:
  // the programmer restarted, and no header goes to it.
  for (size_t already_read : {0, 2, 7}) {
    SetUp();
    OpenQuietly();
    const uint8_t message[] = {'S', 'T', 'A', 'R', 'R', 'E', 'S', 'E', 'T'};
    const size_t headers_before = device_.headers().size();
    ListenForReset(message, static_cast<uint32_t>(already_read));
    DeviceSends(std::vector<uint8_t>(message + already_read, message + sizeof message));
    clock_.SleepUs(20'000);
    App().header.SetMagic();
    EXPECT_FALSE(BeginLink()) << already_read;
    EXPECT_TRUE(App().reset_heard) << already_read;
    EXPECT_TRUE(App().link_fault) << already_read;
    EXPECT_TRUE(Calls("WRITE").empty()) << already_read;
    EXPECT_EQ(device_.headers().size(), headers_before) << already_read;
    EXPECT_EQ(App().headers_reached, 0u) << already_read;
  }
}

TEST_F(HeaderExchange, SilentOrShortAnswersFailWithTheBusyText) {
  for (int answer : {0, 20}) {
    SetUp();
    OpenQuietly();
    if (answer == 0) {
      device_.faults().silent = true;
    } else {
      device_.faults().short_answer = answer;
    }
    App().header.SetMagic();
    EXPECT_FALSE(BeginLink());
    EXPECT_TRUE(App().link_fault);
    EXPECT_EQ(window_->Status(), "编程器连接错误! 编程器可能正忙,请稍候再试!");
    EXPECT_TRUE(window_->Messages().empty());
    device_.faults() = SimFaults{};
  }
}

TEST_F(HeaderExchange, AFailedOpenLeavesAHandleThatBeginLinkRejects) {
  sim_port_.SetAvailableNames({"COM1"});
  App().port_chosen = true;
  App().programmer_found = true;
  EXPECT_FALSE(OpenPort("COM3", ReadOperatorChoices()));
  EXPECT_EQ(sim_port_.Handle(), PortHandle::kInvalid);
  EXPECT_TRUE(window_->Messages().empty());  // OpenPort itself reports nothing

  EXPECT_FALSE(BeginLink());
  ASSERT_EQ(window_->Messages().size(), 1u);
  EXPECT_EQ(window_->Messages()[0].caption, "警告");
  EXPECT_EQ(window_->Messages()[0].text, "读取串口错误,该端口可能不存在或被其它软件占用!");
  EXPECT_EQ(window_->Messages()[0].icon, MsgIcon::kWarning);
  EXPECT_FALSE(App().port_chosen);
  EXPECT_FALSE(App().programmer_found);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), "连接烧写器端口硬件错误!");
}

using VanishedPort = LinkTest;

TEST_F(VanishedPort, EveryPrimitiveEndsInAFaultWithinABoundedTime) {
  OpenQuietly();
  sim_port_.Vanish();
  uint8_t buf[600] = {};
  uint32_t count = 0;

  int64_t t0 = clock_.NowUs();
  ReceiveBlock(buf, 600, &count);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(count, 0u);

  App().link_fault = false;
  SendBlock(buf, 600, &count);
  EXPECT_TRUE(App().link_fault);
  EXPECT_LT(count, 600u);

  // 1500 tries would be 27 s on a silent port; a port that is gone ends at once.
  App().link_fault = false;
  AwaitReply(buf, 16, 5, 1500);
  EXPECT_TRUE(App().link_fault);

  App().header.SetMagic();
  EXPECT_FALSE(BeginLink());
  EXPECT_LT(clock_.NowUs() - t0, 2'000'000);
  EXPECT_LT(lines_.size(), 2000u);
}

TEST_F(VanishedPort, DelayIsRecordedAndTakesItsTime) {
  const int64_t t0 = clock_.NowUs();
  DelayMs(200);
  EXPECT_EQ(clock_.NowUs() - t0, 200'000);
  EXPECT_EQ(Calls("DELAY"), std::vector<std::string>{"200"});
}

}  // namespace
}  // namespace zvp::test
