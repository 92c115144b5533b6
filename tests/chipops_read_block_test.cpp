// ReadBlock against the virtual programmer: the header it sends, the sum
// check, the oversize refusal and every way a block read can fail.
#include <algorithm>
#include <array>

#include "chipops/read_block.h"
#include "tests/support/read_back_fixture.h"

namespace zvp::test {
namespace {

constexpr uint8_t kSentinel = 0xA5;

class ReadBlockTest : public ReadBackTest {
 protected:
  void SetUp() override {
    ReadBackTest::SetUp();
    dest_.fill(kSentinel);
  }
  // How many leading bytes of the destination hold the chip from `first` on.
  uint32_t ChipBytesIn(uint32_t first) {
    uint32_t i = 0;
    while (i < dest_.size() && dest_[i] == device_.chip().memory[first + i]) ++i;
    return i;
  }
  std::array<uint8_t, 512> dest_;
};

using ReadBlockRun = ReadBlockTest;

TEST_F(ReadBlockRun, AFullBlockArrivesWithItsOwnAddressesInTheHeader) {
  SetRange(0x0000, 0x7FFF);  // the range fields must not leak into the header
  App().link_fault = true;   // cleared by the read itself
  ReadBlock(cmd::kReadChip, dest_.data(), 512, 0x0100, 0x01FF);
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(ChipBytesIn(0x0100), 256u);
  EXPECT_EQ(dest_[256], kSentinel);
  EXPECT_EQ(Headers(), (std::vector<SentHeader>{{cmd::kReadChip, 0x0100, 0x01FF}}));
  EXPECT_TRUE(window_.Statuses().empty());
  // The sum was read under the block set the data left in force.
  EXPECT_EQ(sim_port_.timeouts(), (CommTimeouts{9, 50, 9, 50, 9}));
}

TEST_F(ReadBlockRun, TheCarryBeyondSixteenBitsIsDroppedBeforeTheComparison) {
  // 300 bytes of 0xFF add up to 0x12AD4: only 0x2AD4 travels.
  std::fill_n(device_.chip().memory.begin() + 0x200, 300, 0xFF);
  ReadBlock(cmd::kReadChip, dest_.data(), 512, 0x200, 0x200 + 299);
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(ChipBytesIn(0x200), 300u);
}

TEST_F(ReadBlockRun, FirstEqualToLastReadsOneByte) {
  ReadBlock(cmd::kReadChip, dest_.data(), 512, 0x0042, 0x0042);
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(ChipBytesIn(0x42), 1u);
  EXPECT_EQ(dest_[1], kSentinel);
}

TEST_F(ReadBlockRun, CommandFifteenReadsTheProgrammerMemoryWithoutTheChipSupply) {
  for (uint32_t i = 0; i < 16; ++i) device_.memory()[0x7FF0 + i] = static_cast<uint8_t>(0x30 + i);
  device_.faults().voltage_error = '1';  // a chip fault
  ReadBlock(cmd::kReadMemory, dest_.data(), 512, 0x7FF0, 0x7FFF);
  EXPECT_FALSE(App().link_fault);
  for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(dest_[i], 0x30 + i);
  EXPECT_EQ(Headers().back().command, cmd::kReadMemory);
}

TEST_F(ReadBlockRun, ABlockLargerThanTheDestinationIsRefusedWithoutTraffic) {
  ReadBlock(cmd::kReadChip, dest_.data(), 512, 0x1000, 0x11FF);  // exactly fits
  EXPECT_FALSE(App().link_fault);
  lines_.clear();
  ReadBlock(cmd::kReadChip, dest_.data(), 512, 0, 599);
  ASSERT_EQ(window_->Messages().size(), 1u);
  EXPECT_EQ(window_->Messages()[0].text, "指定的缓冲区不足以容纳要读取的数据,操作将中止!");
  EXPECT_EQ(window_->Messages()[0].caption, "");
  EXPECT_EQ(window_->Messages()[0].icon, MsgIcon::kWarning);
  EXPECT_TRUE(Calls("WRITE").empty());
  EXPECT_TRUE(window_.Statuses().empty());
  // Set, so that a caller testing link_fault does not take the untouched
  // destination for data.
  EXPECT_TRUE(App().link_fault);
}

TEST_F(ReadBlockRun, AnInvertedOrWrappingRangeSendsNothing) {
  ReadBlock(cmd::kReadChip, dest_.data(), 512, 0x200, 0x1FF);  // a count of 0 after wrapping
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), "读取数据错误");
  ReadBlock(cmd::kReadChip, dest_.data(), 512, 0, 0xFFFFFFFF);  // 2^32 bytes, also 0 in 32 bits
  EXPECT_EQ(window_->Messages().size(), 1u);
  EXPECT_TRUE(Calls("WRITE").empty());
}

TEST_F(ReadBlockRun, FailureTable) {
  struct Case {
    const char* what;
    void (*fault)(SimFaults&);
    std::string status;
    uint32_t bytes_kept;  // chip bytes in the destination afterwards
  };
  const Case cases[] = {
      {"sum off by one", [](SimFaults& f) { f.wrong_block_sum = true; }, "读取数据错误", 256},
      {"data stop midway", [](SimFaults& f) { f.silent_at_address = 0x180; }, "读取数据错误", 0x80},
      {"sum missing", [](SimFaults& f) { f.silent_at_address = 0x200; }, "读取数据错误", 256},
      {"no header answer", [](SimFaults& f) { f.silent = true; },
       "编程器连接错误! 编程器可能正忙,请稍候再试!", 0},
      {"no acknowledgement", [](SimFaults& f) { f.silent_after_header = cmd::kReadChip; }, "读取数据错误", 0},
      {"voltage error", [](SimFaults& f) { f.voltage_error = '3'; }, "编程电压错误,编程失败", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    device_.faults() = {};
    c.fault(device_.faults());
    dest_.fill(kSentinel);
    window_.ForgetStatuses();
    lines_.clear();
    ReadBlock(cmd::kReadChip, dest_.data(), 512, 0x0100, 0x01FF);
    EXPECT_TRUE(App().link_fault);
    // The read's own last text, not one left from the case before.
    ASSERT_FALSE(window_.Statuses().empty());
    EXPECT_EQ(window_.Statuses().back(), c.status);
    EXPECT_EQ(ChipBytesIn(0x100), c.bytes_kept);
    // Short data end the read at once: no 30 tries for a sum behind them.
    if (c.bytes_kept == 0x80) {
      EXPECT_LT(Calls("READ").size(), 10u);
    }
  }
  EXPECT_EQ(window_->Messages().back().text, "检测到Vpp输出电压过低!编程操作将被异常中止!");
}

}  // namespace
}  // namespace zvp::test
