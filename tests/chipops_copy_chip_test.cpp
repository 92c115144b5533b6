// Copying the chip: straight into the code buffer (debug mode) and by the
// programmer into its memory, with the question first, the checksum box, the
// flags each leaves behind and every row of the failure table. Also which
// variant of copy and verify the engine picks.
#include <algorithm>

#include "chipops/copy_chip.h"
#include "ui/control_ids.h"
#include "engine/engine.h"
#include "engine/operation_table.h"
#include "image/code_buffer.h"
#include "image/number_text.h"
#include "tests/support/read_back_fixture.h"
#include "ui/window_choices.h"

namespace zvp::test {
namespace {

const std::string kCopySum = "拷贝芯片数据检查和 =  ";

class CopyChip : public ReadBackTest {
 protected:
  void SetUp() override {
    ReadBackTest::SetUp();
    window_->SetText(ctl::kChecksumBox, "ABCD");
    App().memory_edited = true;
  }
  bool Holds(const uint8_t* area, uint32_t first, uint32_t last) {
    return std::equal(area + first, area + last + 1, device_.chip().memory.data() + first);
  }
  std::string Box() { return window_.Text(ctl::kChecksumBox); }
};

TEST_F(CopyChip, DirectAsksThenReadsThreeBlocksIntoTheBuffer) {
  SetRange(0, 0x02FF);
  CopyChipDirect();
  ASSERT_EQ(window_->Messages().size(), 1u);
  EXPECT_EQ(window_->Messages()[0].caption, "警 告");
  EXPECT_EQ(window_->Messages()[0].text, "这个操作将改变编程内存代码数据,是否继续?,");
  EXPECT_EQ(window_->Messages()[0].buttons, MsgButtons::kYesNo);
  EXPECT_EQ(Headers(),
            (std::vector<SentHeader>{{cmd::kReadChip, 0, 0xFF}, {cmd::kReadChip, 0x100, 0x1FF}, {cmd::kReadChip, 0x200, 0x2FF}}));
  EXPECT_TRUE(Holds(App().code_buffer.data(), 0, 0x2FF));
  EXPECT_EQ(App().code_buffer[0x300], 0xFF);
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(App().checksum_start, 0u);
  EXPECT_EQ(App().checksum_end, 0x2FFu);
  EXPECT_TRUE(App().memory_loaded);
  EXPECT_FALSE(App().memory_edited);
  const std::string sum = FormatNumber(ChipBytesSum(0, 0x2FF), 16, 4);
  EXPECT_EQ(Box(), sum);
  EXPECT_EQ(window_->Status(), kCopySum + sum);
  EXPECT_EQ(window_.Statuses()[0], "请稍候,拷贝芯片数据到编程内存......");
  EXPECT_EQ(window_.Statuses()[3], "请稍候,拷贝芯片数据到编程内存,  地址: 00200");
  EXPECT_EQ(Calls("DELAY").front(), "200");  // before the first block
}

TEST_F(CopyChip, DirectKeepsTheBufferOutsideAnOffGridRange) {
  SetRange(0x0010, 0x0120);
  CopyChipDirect();
  EXPECT_EQ(Headers(), (std::vector<SentHeader>{{cmd::kReadChip, 0x10, 0x10F}, {cmd::kReadChip, 0x110, 0x120}}));
  EXPECT_TRUE(Holds(App().code_buffer.data(), 0x10, 0x120));
  EXPECT_EQ(App().code_buffer[0x0F], 0xFF);
  EXPECT_EQ(App().code_buffer[0x121], 0xFF);
  EXPECT_EQ(App().checksum_start, 0x10u);
  EXPECT_EQ(Box(), FormatNumber(BufferChecksum(App().code_buffer, 0x10, 0x120), 16, 4));
}

TEST_F(CopyChip, AnsweredNoNeitherCopySendsOrChangesAnything) {
  for (Outcome (*copy)() : {&CopyChipDirect, &CopyChipToMemory}) {
    SetRange(0x0100, 0x02FF);
    window_.AnswerBoxes({MsgAnswer::kNo});
    EXPECT_EQ(copy(), Outcome::kDeclined);
    EXPECT_EQ(window_->Status(), "操作已中止");
    EXPECT_TRUE(Calls("WRITE").empty());
    EXPECT_EQ(App().code_buffer[0x100], 0xFF);
    EXPECT_EQ(App().range_start, 0x100u);
    EXPECT_TRUE(App().memory_edited);
    EXPECT_EQ(Box(), "ABCD");
  }
}

TEST_F(CopyChip, DirectStopsAtAFailedBlockKeepingWhatCameBefore) {
  SetRange(0, 0x02FF);
  App().checksum_start = 0x11;
  App().checksum_end = 0x22;
  device_.faults().silent_at_address = 0x0180;
  CopyChipDirect();
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(Headers().size(), 2u);
  EXPECT_TRUE(Holds(App().code_buffer.data(), 0, 0xFF));
  EXPECT_EQ(App().code_buffer[0x100], 0xFF);  // the failed block's part stays out
  EXPECT_FALSE(App().memory_loaded);
  EXPECT_EQ(App().checksum_start, 0x11u);
  EXPECT_EQ(App().checksum_end, 0x22u);
  // In debug mode the half-overwritten buffer is the programmer memory: its
  // old sum no longer stands.
  EXPECT_EQ(Box(), "XXXX");
  EXPECT_EQ(window_->Status(), kCopySum + "XXXX");
  // No answer at all ends in the same text, replacing the link's.
  device_.faults().silent = true;
  CopyChipDirect();
  EXPECT_EQ(window_->Status(), kCopySum + "XXXX");
}

TEST_F(CopyChip, ToMemoryInitialisesFromZeroAndCopiesTheWholeRange) {
  SetRange(0x0100, 0x7FFF);
  App().code_buffer[0x0005] = 0x12;  // below the range, yet in the initialisation's sum
  const std::vector<uint8_t> before(App().code_buffer.begin(), App().code_buffer.begin() + 0x8000);
  const int64_t t0 = clock_.NowUs();
  CopyChipToMemory();
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(Headers(), (std::vector<SentHeader>{{cmd::kInitMemory, 0, 0x7FFF}, {cmd::kCopyChip, 0, 0x7FFF}}));
  EXPECT_EQ(device_.headers()[0].Checksum(), BufferChecksum(App().code_buffer, 0, 0x7FFF));
  EXPECT_EQ(App().range_start, 0u);
  EXPECT_TRUE(Holds(device_.memory().data(), 0, 0x7FFF));
  EXPECT_TRUE(std::equal(before.begin(), before.end(), App().code_buffer.begin()));
  EXPECT_TRUE(App().memory_loaded);
  EXPECT_FALSE(App().memory_edited);
  const std::string sum = FormatNumber(ChipBytesSum(0, 0x7FFF), 16, 4);
  EXPECT_EQ(Box(), sum);
  EXPECT_EQ(window_->Status(), kCopySum + sum);
  EXPECT_EQ(window_.Statuses()[0],
            "正在初始化编程内存系统,该过程约需几秒到十几秒时间,请稍候......");
  EXPECT_EQ(window_.Statuses()[1], "请稍候,拷贝芯片数据到编程内存......");
  EXPECT_EQ(window_.Statuses().end()[-2], "请稍候,拷贝芯片数据到编程内存,  地址: 07FFF");
  // 300 ms before each of the eight reports, under the short set.
  const auto delays = Calls("DELAY");
  EXPECT_EQ(std::count(delays.begin(), delays.end(), "300"), 8);
  EXPECT_GE(clock_.NowUs() - t0, 8 * 300'000 + 200'000);
  EXPECT_EQ(sim_port_.timeouts(), (CommTimeouts{5, 5, 5, 5, 5}));
}

TEST_F(CopyChip, ToMemoryFailureTable) {
  struct Case {
    const char* what;
    void (*fault)(SimFaults&);
    std::string status;
    size_t headers;          // sent in all
    bool memory_loaded;      // afterwards, from true before
    const char* box;         // the checksum box afterwards, from ABCD before
  };
  const std::string init_failed =
      "初始化编程内存失败!请重新尝试,若重复出现此信息,内存芯片可能已损坏!";
  const Case cases[] = {
      // Once the initialisation header is answered the programmer erases its
      // memory: it is no longer loaded, whatever follows.
      {"no ROMOK", [](SimFaults& f) { f.no_romok = true; }, init_failed, 1, false, "XXXX"},
      {"other than ROMOK", [](SimFaults& f) { f.wrong_romok = true; }, init_failed, 1, false,
       "XXXX"},
      {"no header answer", [](SimFaults& f) { f.silent = true; },
       "编程器连接错误! 编程器可能正忙,请稍候再试!", 1, true, "ABCD"},
      {"no acknowledgement", [](SimFaults& f) { f.silent_after_header = cmd::kCopyChip; }, kCopySum + "XXXX", 2,
       false, "XXXX"},
      {"voltage error", [](SimFaults& f) { f.voltage_error = '1'; }, "编程电压错误,编程失败", 2,
       false, "XXXX"},
      {"progress stops", [](SimFaults& f) { f.silent_at_address = 0x0800; }, kCopySum + "XXXX", 2,
       false, "XXXX"},
      {"sum missing", [](SimFaults& f) { f.silent_at_address = 0x0FFF; }, kCopySum + "XXXX", 2,
       false, "XXXX"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    device_.faults() = {};
    c.fault(device_.faults());
    SetRange(0x0100, 0x0FFF);
    App().memory_loaded = true;
    window_->SetText(ctl::kChecksumBox, "ABCD");
    const size_t before = Headers().size();
    CopyChipToMemory();
    EXPECT_TRUE(App().link_fault);
    EXPECT_EQ(window_->Status(), c.status);
    EXPECT_EQ(Headers().size() - before, c.headers);
    EXPECT_EQ(App().range_start, 0u);
    EXPECT_EQ(App().memory_loaded, c.memory_loaded);
    EXPECT_EQ(Box(), c.box);
  }
}

class CopyAndVerifyDispatch : public ReadBackTest {
 protected:
  void TearDown() override {
    WaitForWorkers();
    ReadBackTest::TearDown();
  }
  // Starts with the box in one state; the user clicks it before the worker
  // dispatches. Returns the headers the operation sent.
  std::vector<SentHeader> Run(uint8_t code, bool debug_at_click, bool debug_at_dispatch) {
    window_.Tick(ctl::kDebugMode, debug_at_click);
    window_.HoldWorkers();
    const auto before = static_cast<long>(device_.headers().size());
    StartOperation(code, ReadOperatorChoices());
    window_.Tick(ctl::kDebugMode, debug_at_dispatch);
    window_.ReleaseWorkers();
    WaitForWorkers();
    const auto all = Headers();
    return {all.begin() + before, all.end()};
  }
};

TEST_F(CopyAndVerifyDispatch, TheDebugBoxIsReadWhenTheWorkerDispatches) {
  SetRange(0, 0xFF);
  EXPECT_EQ(Run(OpVerifyChip, false, true), (std::vector<SentHeader>{{cmd::kReadChip, 0, 0xFF}}));
  EXPECT_EQ(Run(OpVerifyChip, true, false), (std::vector<SentHeader>{{cmd::kVerifyChip, 0, 0xFF}}));
  EXPECT_EQ(Run(OpCopyChipToBuffer, false, true), (std::vector<SentHeader>{{cmd::kReadChip, 0, 0xFF}}));
  EXPECT_EQ(Run(OpCopyChipToBuffer, true, false),
            (std::vector<SentHeader>{{cmd::kInitMemory, 0, 0xFF}, {cmd::kCopyChip, 0, 0xFF}}));
  EXPECT_EQ(Run(OpChipChecksum, true, true), (std::vector<SentHeader>{{cmd::kChipChecksum, 0, 0xFF}}));
  for (uint8_t code : {OpChipChecksum, OpVerifyChip, OpCopyChipToBuffer})
    EXPECT_NE(FindOperation(code), nullptr);
}

}  // namespace
}  // namespace zvp::test
