// The programmer-memory checksum against the virtual programmer with
// virtual time: progress, the comparison with the buffer, the warning, the
// recorded range, the failures, the one-address range and debug mode.
#include <string>
#include <vector>

#include "image/code_buffer.h"
#include "image/number_text.h"
#include "engine/engine.h"
#include "link/operation_header.h"
#include "progmem/memory_checksum.h"
#include "tests/support/memory_fixture.h"
#include "tests/support/header_from_window.h"

namespace zvp::test {
namespace {

class MemorySum : public MemoryTest {
 protected:
  // As StartOperation leaves the header.
  void SetUp() override {
    MemoryTest::SetUp();
    BuildHeaderFromWindow();
  }
  // The same code in the buffer and in the programmer's memory.
  void SameCodeBothSides(uint32_t first, uint32_t last) {
    for (uint32_t a = first; a <= last; ++a) {
      const uint8_t b = static_cast<uint8_t>(a * 31 + 3);
      App().code_buffer[a] = b;
      device_.memory()[a] = b;
    }
  }
  void Range(uint32_t start, uint32_t end) {
    App().range_start = start;
    App().range_end = end;
  }
  std::vector<std::string> ProgressTexts() const {
    std::vector<std::string> out;
    for (const std::string& s : window_.Statuses())
      if (s.find("地址") != std::string::npos) out.push_back(s);
    return out;
  }
  std::string Result(uint16_t sum) const {
    return std::string("编程内存检查和 =  ") + FormatNumber(sum, 16, 4);
  }
};

TEST_F(MemorySum, ProgressThenTheMatchingSum) {
  SameCodeBothSides(0, 0xFF);
  Range(0, 0xFF);
  device_.config().progress_step = 0x80;
  App().header.SetChipType(ChipType::kMtp);  // bytes the checksum does not write keep their value
  App().header[hdr::kOptions] = 0x21;
  window_->SetText(ctl::kChecksumBox, "0000");

  ProgrammerMemoryChecksum();

  const uint16_t sum = BufferChecksum(App().code_buffer, 0, 0xFF);
  EXPECT_EQ(window_.Statuses(),
            (std::vector<std::string>{"请稍候,得到编程内存检查和......",
                                      "请稍候,得到编程内存检查和,  地址: 00080",
                                      "请稍候,得到编程内存检查和,  地址: 000FF", Result(sum)}));
  EXPECT_EQ(window_.Text(ctl::kChecksumBox), FormatNumber(sum, 16, 4));
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(App().checksum_start, 0u);
  EXPECT_EQ(App().checksum_end, 0xFFu);
  EXPECT_TRUE(window_->Messages().empty());
  const auto headers = Headers();
  ASSERT_EQ(headers.size(), 1u);
  EXPECT_EQ(headers[0][hdr::kCommand], cmd::kMemoryChecksum);
  EXPECT_EQ((Bytes{headers[0][hdr::kStartHigh], headers[0][hdr::kStartMiddle], headers[0][hdr::kStartLow], headers[0][hdr::kEndHigh], headers[0][hdr::kEndMiddle],
                   headers[0][hdr::kEndLow]}),
            (Bytes{0, 0, 0, 0, 0, 0xFF}));
  EXPECT_EQ(headers[0][hdr::kChipType], static_cast<uint8_t>(ChipType::kMtp));
  EXPECT_EQ(headers[0][hdr::kOptions], 0x21);
  // Header, acknowledgement, two progress replies and the sum: each reply
  // with its pause before the rest.
  EXPECT_EQ(Outline(), "H13 D50 D50 D50 D50 D50");
}

TEST_F(MemorySum, AProgressReplyAtOrBeyondTheEndEndsTheLoopAtOnce) {
  SameCodeBothSides(0x100, 0x1FF);
  Range(0x100, 0x1FF);
  const uint16_t sum = BufferChecksum(App().code_buffer, 0x100, 0x1FF);
  for (uint32_t reported : {0x1FFu, 0x250u, 0xFFFFu}) {
    SCOPED_TRACE(reported);
    device_.faults().silent_after_header = cmd::kMemoryChecksum;
    hook_.after_write = [&](const uint8_t* buf, uint32_t n) {
      if (n != 21 || buf[hdr::kCommand] != cmd::kMemoryChecksum) return;
      const Bytes reply{'O',
                        'K',
                        static_cast<uint8_t>(reported >> 16),
                        static_cast<uint8_t>(reported >> 8),
                        static_cast<uint8_t>(reported),
                        static_cast<uint8_t>(sum >> 8),
                        static_cast<uint8_t>(sum)};
      device_.SendRaw(reply.data(), reply.size(), clock_.NowUs() + 5'000);
    };
    window_.ForgetStatuses();
    ProgrammerMemoryChecksum();
    EXPECT_EQ(ProgressTexts(), std::vector<std::string>{"请稍候,得到编程内存检查和,  地址: " +
                                                        FormatNumber(reported, 16, 5)});
    EXPECT_EQ(window_->Status(), Result(sum));
    EXPECT_FALSE(App().link_fault);
  }
}

TEST_F(MemorySum, AMissingReplyShowsXxxxAndChangesNothing) {
  struct Case {
    const char* name;
    void (*arrange)(SimFaults&);
    size_t progress;  // progress texts before the silence
  };
  const Case cases[] = {
      {"no acknowledgement, no progress", [](SimFaults& f) { f.silent_after_header = cmd::kMemoryChecksum; }, 0},
      {"no progress", [](SimFaults& f) { f.silent_at_address = 0; }, 0},
      {"silent midway", [](SimFaults& f) { f.silent_at_address = 0x4000; }, 4},
  };
  SameCodeBothSides(0, 0x7FFF);
  Range(0, 0x7FFF);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    device_.faults() = SimFaults{};
    c.arrange(device_.faults());
    App().checksum_start = 0x11;
    App().checksum_end = 0x22;
    window_->SetText(ctl::kChecksumBox, "ABCD");
    window_.ForgetStatuses();
    ProgrammerMemoryChecksum();
    EXPECT_EQ(ProgressTexts().size(), c.progress);
    EXPECT_EQ(window_->Status(), "编程内存检查和 =  XXXX");
    EXPECT_EQ(window_.Text(ctl::kChecksumBox), "ABCD");
    EXPECT_EQ(App().checksum_start, 0x11u);
    EXPECT_EQ(App().checksum_end, 0x22u);
    EXPECT_TRUE(App().link_fault);
    EXPECT_TRUE(window_->Messages().empty());
  }
}

TEST_F(MemorySum, AMissingSumAfterTheProgressShowsXxxx) {
  Range(0, 0xFF);
  device_.faults().silent_after_header = cmd::kMemoryChecksum;
  hook_.after_write = [&](const uint8_t* buf, uint32_t n) {
    if (n != 21 || buf[hdr::kCommand] != cmd::kMemoryChecksum) return;
    const Bytes reply{'O', 'K', 0x00, 0x00, 0xFF};
    device_.SendRaw(reply.data(), reply.size(), clock_.NowUs() + 5'000);
  };
  ProgrammerMemoryChecksum();
  EXPECT_EQ(ProgressTexts().size(), 1u);
  EXPECT_EQ(window_->Status(), "编程内存检查和 =  XXXX");
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(EmptyTries(), 30u);  // the sum's 30 tries
}

TEST_F(MemorySum, ADifferentSumWarnsShowsTheProgrammersSumAndRecordsTheRange) {
  // The buffer sums to 0x1A2C (26 bytes of 0xFF and one of 0x46), the
  // programmer to 0x1A2B.
  Range(0, 0xFF);
  AppState& app = App();
  for (uint32_t a = 0; a <= 0xFF; ++a) {
    const uint8_t b = a < 26 ? 0xFF : a == 26 ? 0x46 : 0x00;
    app.code_buffer[a] = b;
    device_.memory()[a] = b;
  }
  ASSERT_EQ(BufferChecksum(App().code_buffer, 0, 0xFF), 0x1A2C);
  device_.faults().sum_offset = -1;

  ProgrammerMemoryChecksum();

  ASSERT_EQ(window_->Messages().size(), 1u);
  EXPECT_EQ(window_->Messages()[0].caption, "警 告");
  EXPECT_EQ(window_->Messages()[0].text,
            "编程内存检查和错误!\n请尝试重新下载代码\n注意: 下载代码时请不要切换当前窗口\n"
            "或启动其它需要实时处理的软件,\n以免影响下载稳定性");
  EXPECT_EQ(window_->Messages()[0].icon, MsgIcon::kWarning);
  EXPECT_EQ(window_->Status(), "编程内存检查和 =  1A2B");
  EXPECT_EQ(window_.Text(ctl::kChecksumBox), "1A2B");
  EXPECT_EQ(app.checksum_start, 0u);
  EXPECT_EQ(app.checksum_end, 0xFFu);
  EXPECT_TRUE(app.link_fault);

  // The programmer restarts when its sum is due: the start of its reset
  // message reads as a sum ("ST" = 5354) that differs. No sum came, and the
  // memory is gone: no box asking for a new download, but the reset text,
  // the box "XXXX" and the memory no longer trusted. Before, the warning
  // box came and the box showed 5354.
  SetUp();
  SameCodeBothSides(0, 0xFF);
  Range(0, 0x00);  // a one-address range: the sum follows the acknowledgement
  window_->SetText(ctl::kChecksumBox, "1A2B");
  App().memory_loaded = true;
  device_.faults().silent_after_header = cmd::kMemoryChecksum;
  hook_.after_write = [&](const uint8_t* buf, uint32_t n) {
    if (n == kHeaderSize && buf[hdr::kCommand] == cmd::kMemoryChecksum) DeviceSends(FromHex("4F4B535441525245534554"));
  };
  const size_t boxes_before = window_->Messages().size();
  RunOperationNow(OpMemoryChecksum);
  EXPECT_EQ(window_->Messages().size(), boxes_before);
  EXPECT_EQ(window_->Status(),
            "OK,检测到 ZVP-V2.0C 已复位!请点击[下载文件代码]按钮以刷新编程器内存代码");
  EXPECT_EQ(window_.Text(ctl::kChecksumBox), "XXXX");
  EXPECT_FALSE(App().memory_loaded);
  EXPECT_TRUE(App().link_fault);
}

TEST_F(MemorySum, AFailedHeaderExchangeKeepsItsTextTheBoxAndTheRange) {
  Range(0, 0xFF);
  device_.faults().silent = true;
  window_->SetText(ctl::kChecksumBox, "ABCD");
  App().checksum_end = 0x22;
  ProgrammerMemoryChecksum();
  EXPECT_EQ(window_->Status(), "编程器连接错误! 编程器可能正忙,请稍候再试!");
  EXPECT_EQ(window_.Text(ctl::kChecksumBox), "ABCD");
  EXPECT_EQ(App().checksum_end, 0x22u);
  EXPECT_TRUE(App().link_fault);
}

TEST_F(MemorySum, AOneAddressRangeTakesTheSumStraightAfterTheAcknowledgement) {
  // The same treatment for address 0 and any other single address: no
  // progress is read or sent, the two bytes that follow are the sum.
  SameCodeBothSides(0, 0x200);
  for (uint32_t address : {0x0u, 0x123u, 0x7FFFu}) {
    SCOPED_TRACE(address);
    Range(address, address);
    window_.ForgetStatuses();
    lines_.clear();
    ProgrammerMemoryChecksum();
    EXPECT_TRUE(ProgressTexts().empty());
    EXPECT_EQ(window_->Status(), Result(App().code_buffer[address]));
    EXPECT_FALSE(App().link_fault);
    EXPECT_EQ(App().checksum_start, address);
    EXPECT_EQ(App().checksum_end, address);
    EXPECT_EQ(Outline(), "H13 D50 D50 D50");  // header, acknowledgement, sum
  }
}

TEST_F(MemorySum, DebugModeShowsTheBuffersOwnSumWithoutTraffic) {
  DebugModeOn();
  Range(0, 0x7FFF);  // an all-0xFF buffer
  App().link_fault = true;
  ProgrammerMemoryChecksum();
  EXPECT_TRUE(lines_.empty());
  EXPECT_EQ(window_.Text(ctl::kChecksumBox), "8000");
  EXPECT_EQ(window_->Status(), "编程内存检查和 =  8000");
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(App().checksum_end, 0x7FFFu);
  EXPECT_TRUE(window_->Messages().empty());
}

TEST_F(MemorySum, RunsAsOperation13) {
  SameCodeBothSides(0, 0x3FF);
  Range(0, 0x3FF);
  RunOperationNow(OpMemoryChecksum);
  EXPECT_EQ(window_->Status(), Result(BufferChecksum(App().code_buffer, 0, 0x3FF)));
  EXPECT_FALSE(App().link_fault);
}

}  // namespace
}  // namespace zvp::test
