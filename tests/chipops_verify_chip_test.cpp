// The chip checksum, the programmer's verify and the PC's own verify against
// the virtual programmer: the texts, the verdicts, the blocks asked for and
// each row of the failure table.
#include <algorithm>

#include "chipops/verify_chip.h"
#include "image/code_buffer.h"
#include "image/number_text.h"
#include "tests/support/read_back_fixture.h"

namespace zvp::test {
namespace {

const char kLinkError[] = "编程器连接错误! 编程器可能正忙,请稍候再试!";

// ---------------------------------------------------------------- ChipSum

class ChipSum : public ReadBackTest {
 protected:
  // Chip bytes over first..last whose sum is `target` (the rest 0).
  void ChipWithSum(uint32_t first, uint32_t last, uint16_t target) {
    uint32_t left = target;
    for (uint32_t a = first; a <= last; ++a) {
      const uint8_t b = static_cast<uint8_t>(std::min<uint32_t>(left, 0xFF));
      device_.chip().memory[a] = b;
      left -= b;
    }
    ASSERT_EQ(left, 0u);
  }
};

TEST_F(ChipSum, OutsideTheSequenceTheSumIsShownWithoutAVerdict) {
  SetRange(0x0000, 0x00FF);
  ChipWithSum(0, 0xFF, 0x1234);
  ChipChecksum();
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(window_->Status(), "芯片检查和 =  1234");
  EXPECT_EQ(window_.Statuses().front(), "请稍候,得到芯片检查和......");
  EXPECT_EQ(window_.StatusesStarting("请稍候,得到芯片检查和,  地址: "),
            std::vector<std::string>{"请稍候,得到芯片检查和,  地址: 000FF"});
  EXPECT_EQ(Headers(), (std::vector<SentHeader>{{cmd::kChipChecksum, 0, 0xFF}}));
  // Not compared with the buffer (which holds 0xFF) outside the sequence.
  EXPECT_NE(BufferChecksum(App().code_buffer, 0, 0xFF), 0x1234);
}

TEST_F(ChipSum, InTheSequenceTheSumIsComparedWithTheBuffer) {
  App().auto_running = true;
  SetRange(0x0100, 0x2FFF);
  BufferMatchesChip(0x0100, 0x2FFF);
  ChipChecksum();
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(window_->Status(), "校验芯片成功!");
  EXPECT_EQ(window_.Statuses().end()[-2],
            "芯片检查和 =  " + FormatNumber(ChipBytesSum(0x0100, 0x2FFF), 16, 4));

  // One byte of the buffer outside the range changes nothing; inside it the
  // sums differ.
  App().code_buffer[0x00FF] ^= 0x01;
  ChipChecksum();
  EXPECT_FALSE(App().link_fault);
  App().code_buffer[0x2FFF] ^= 0x01;
  ChipChecksum();
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), "编程失败,校验芯片错误!");
  // Progress went through 1000, 2000 and the end.
  EXPECT_EQ(window_.StatusesStarting("请稍候,得到芯片检查和,  地址: ").size(), 9u);
}

TEST_F(ChipSum, AOneAddressRangeReadsNoProgressAndTakesTheSumAtOnce) {
  SetRange(0x0010, 0x0010);
  ChipChecksum();
  EXPECT_FALSE(App().link_fault);
  EXPECT_TRUE(window_.StatusesStarting("请稍候,得到芯片检查和,").empty());
  EXPECT_EQ(window_->Status(), "芯片检查和 =  " + FormatNumber(device_.chip().memory[0x10], 16, 4));
}

TEST_F(ChipSum, FailureTable) {
  struct Case {
    const char* what;
    void (*fault)(SimFaults&);
    bool in_sequence;
    std::string status;
    bool xxxx_before;  // the checksum text with XXXX precedes the verdict
  };
  const std::string xxxx = "芯片检查和 =  XXXX";
  const std::string verdict = "编程失败,校验芯片错误!";
  const Case cases[] = {
      {"no header answer", [](SimFaults& f) { f.silent = true; }, false, kLinkError, false},
      {"no header answer, sequence", [](SimFaults& f) { f.silent = true; }, true, kLinkError,
       false},
      {"no acknowledgement", [](SimFaults& f) { f.silent_after_header = cmd::kChipChecksum; }, false, xxxx, false},
      {"voltage error", [](SimFaults& f) { f.voltage_error = '2'; }, true, "编程电压错误,编程失败",
       false},
      {"progress stops", [](SimFaults& f) { f.silent_at_address = 0x2345; }, false, xxxx, false},
      {"progress stops, sequence", [](SimFaults& f) { f.silent_at_address = 0x2345; }, true,
       verdict, true},
      {"sum missing", [](SimFaults& f) { f.silent_at_address = 0x7FFF; }, false, xxxx, false},
      {"sum missing, sequence", [](SimFaults& f) { f.silent_at_address = 0x7FFF; }, true, verdict,
       true},
      {"sum wrong, sequence", [](SimFaults& f) { f.sum_offset = 1; }, true, verdict, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    device_.faults() = {};
    c.fault(device_.faults());
    App().auto_running = c.in_sequence;
    SetRange(0, 0x7FFF);
    BufferMatchesChip(0, 0x7FFF);
    window_.ForgetStatuses();
    ChipChecksum();
    EXPECT_TRUE(App().link_fault);
    EXPECT_EQ(window_->Status(), c.status);
    if (c.xxxx_before) {
      ASSERT_GE(window_.Statuses().size(), 2u);
      EXPECT_EQ(window_.Statuses().end()[-2], xxxx);
    }
  }
}

// ---------------------------------------------------------------- VerifyChip

class VerifyChipTest : public ReadBackTest {
 protected:
  // The programmer memory holds the chip's code over the range.
  void MemoryMatchesChip(uint32_t first, uint32_t last) {
    SetRange(first, last);
    std::copy(device_.chip().memory.begin() + first, device_.chip().memory.begin() + last + 1,
              device_.memory().begin() + first);
  }
};

TEST_F(VerifyChipTest, AGoodVerifyEndsWithAReportBeyondTheRange) {
  MemoryMatchesChip(0, 0x7FFF);
  VerifyChip();
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(window_->Status(), "校验芯片成功");
  const auto progress = window_.StatusesStarting("请稍候,校验芯片数据,  地址: ");
  ASSERT_EQ(progress.size(), 8u);
  EXPECT_EQ(progress.back(), "请稍候,校验芯片数据,  地址: 08000");
  EXPECT_EQ(Headers(), (std::vector<SentHeader>{{cmd::kVerifyChip, 0, 0x7FFF}}));
  // The scan runs under the short set, which stays in force.
  EXPECT_EQ(sim_port_.timeouts(), (CommTimeouts{5, 5, 5, 5, 5}));
  // A one-address range still needs a report beyond it.
  MemoryMatchesChip(0x0010, 0x0010);
  window_.ForgetStatuses();
  VerifyChip();
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(window_.Statuses()[1], "请稍候,校验芯片数据,  地址: 00011");
}

TEST_F(VerifyChipTest, FailureTable) {
  struct Case {
    const char* what;
    void (*fault)(VirtualProgrammer&);
    std::string status;
  };
  const Case cases[] = {
      {"report then silence", [](VirtualProgrammer& d) { d.faults().silent_at_address = 0x200; },
       "校验芯片失败! 在地址: 00200"},
      {"memory differs", [](VirtualProgrammer& d) { d.memory()[0x2ABC] ^= 0x10; },
       "校验芯片失败! 在地址: 02ABC"},
      {"chip reads back wrongly at the start",
       [](VirtualProgrammer& d) { d.chip().differs_at = 0; }, "校验芯片失败! 在地址: 00000"},
      {"no header answer", [](VirtualProgrammer& d) { d.faults().silent = true; }, kLinkError},
      {"no acknowledgement", [](VirtualProgrammer& d) { d.faults().silent_after_header = cmd::kVerifyChip; },
       "校验芯片失败! [编程器无应答]"},
      {"voltage error", [](VirtualProgrammer& d) { d.faults().voltage_error = '4'; },
       "编程电压错误,编程失败"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    device_.faults() = {};
    device_.chip().differs_at = -1;
    MemoryMatchesChip(0, 0x7FFF);
    c.fault(device_);
    const int64_t t0 = clock_.NowUs();
    VerifyChip();
    EXPECT_TRUE(App().link_fault);
    EXPECT_EQ(window_->Status(), c.status);
    // Silence ends a scan after 30 tries of 10 ms, not of 18.
    if (c.status.rfind("校验芯片失败! 在地址", 0) == 0) {
      EXPECT_LT(clock_.NowUs() - t0, 600'000);
    }
  }
  EXPECT_EQ(window_->Messages().back().text, "检测到Vpp输出电压过高!编程操作将被异常中止!");
}

// ---------------------------------------------------------- VerifyChipDirect

using VerifyDirect = ReadBackTest;

TEST_F(VerifyDirect, AGoodChipPassesWithAShortLastBlockAndWaitsOnceBeforeTheFirst) {
  SetRange(0, 0x0100);
  BufferMatchesChip(0, 0x0100);
  App().header.Fill(0x77);  // rebuilt from nothing
  VerifyChipDirect();
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(Headers(), (std::vector<SentHeader>{{cmd::kReadChip, 0, 0xFF}, {cmd::kReadChip, 0x100, 0x100}}));
  EXPECT_EQ(
      window_.Statuses(),
      (std::vector<std::string>{"请稍候,校验芯片,在地址: ......", "请稍候,校验芯片,在地址: 00000",
                                "请稍候,校验芯片,在地址: 00100", "校验芯片成功"}));
  // The one wait of 200 ms comes before the first header goes out.
  const auto names = CallNames();
  const auto wait = std::find(lines_.begin(), lines_.end(), "DELAY 200");
  ASSERT_NE(wait, lines_.end());
  EXPECT_LT(wait - lines_.begin(), std::find(names.begin(), names.end(), "WRITE") - names.begin());
  const auto delays = Calls("DELAY");
  EXPECT_EQ(std::count(delays.begin(), delays.end(), "200"), 1);
  // The header keeps the last block's addresses; the bytes the window did
  // not fill are 0 again.
  EXPECT_EQ(App().header[hdr::kStartMiddle], 0x01);
  EXPECT_EQ(App().header[hdr::kEndMiddle], 0x01);
  EXPECT_EQ(App().header[hdr::kChipType], 0);
}

TEST_F(VerifyDirect, ARangeOffTheBlockGridComparesOnlyItsOwnBytes) {
  SetRange(0x0080, 0x027F);
  BufferMatchesChip(0x0080, 0x027F);
  App().code_buffer[0x007F] = static_cast<uint8_t>(~device_.chip().memory[0x7F]);
  App().code_buffer[0x0280] = static_cast<uint8_t>(~device_.chip().memory[0x280]);
  VerifyChipDirect();
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(Headers(), (std::vector<SentHeader>{{cmd::kReadChip, 0x80, 0x17F}, {cmd::kReadChip, 0x180, 0x27F}}));
  // The last byte of the range is compared too.
  App().code_buffer[0x027F] ^= 0x80;
  VerifyChipDirect();
  EXPECT_EQ(window_->Status(), "校验芯片失败,在地址: 027F");
}

TEST_F(VerifyDirect, FailureTable) {
  struct Case {
    const char* what;
    void (*fault)(VirtualProgrammer&);
    std::string address;
    size_t blocks;     // headers sent
    bool read_failed;  // ReadBlock's own text came just before the verdict
  };
  const Case cases[] = {
      {"chip differs", [](VirtualProgrammer& d) { d.chip().differs_at = 0x0123; }, "0123", 2,
       false},
      {"second block's sum missing",
       [](VirtualProgrammer& d) { d.faults().silent_at_address = 0x0200; }, "0100", 2, true},
      {"sum wrong", [](VirtualProgrammer& d) { d.faults().wrong_block_sum = true; }, "0000", 1,
       true},
      {"no header answer", [](VirtualProgrammer& d) { d.faults().silent = true; }, "0000", 1,
       false},
      {"voltage error", [](VirtualProgrammer& d) { d.faults().voltage_error = '9'; }, "0000", 1,
       false},
      {"read-protected chip reads 0x00", [](VirtualProgrammer& d) { d.chip().read_protect = true; },
       "0000", 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    device_.faults() = {};
    device_.chip() = {};
    for (uint32_t a = 0; a < 0x300; ++a) device_.chip().memory[a] = Pattern(a);
    SetRange(0, 0x02FF);
    BufferMatchesChip(0, 0x02FF);
    c.fault(device_);
    const size_t before = Headers().size();
    window_.ForgetStatuses();
    VerifyChipDirect();
    EXPECT_TRUE(App().link_fault);
    EXPECT_EQ(window_->Status(), "校验芯片失败,在地址: " + c.address);
    EXPECT_EQ(Headers().size() - before, c.blocks);
    if (c.read_failed) {
      EXPECT_EQ(window_.Statuses().end()[-2], "读取数据错误");
    }
  }
  EXPECT_EQ(window_->Messages().back().text, "检测到未知错误!编程操作将被异常中止!");
}

}  // namespace
}  // namespace zvp::test
