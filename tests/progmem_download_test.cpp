// The programmer-memory initialisation (F7) and the code download against
// the virtual programmer with virtual time: the wire as the programmer sees
// it, every failure and its texts, the user's stop, and debug mode.
#include <algorithm>
#include <string>
#include <vector>

#include "image/code_buffer.h"
#include "image/number_text.h"
#include "engine/engine.h"
#include "engine/operation_table.h"
#include "link/serial_link.h"
#include "progmem/download.h"
#include "progmem/memory_checksum.h"
#include "tests/support/memory_fixture.h"

namespace zvp::test {
namespace {

// The download's progress words, followed by the next address.
constexpr char kDownloadProgressText[] = "[双击这里中断下载] 下载代码到编程器内存,发送数据地址:  ";

using Action = HookPort::WriteAction;

// ---------------------------------------------------------------------------
// InitProgrammerMemory

using InitMemory = MemoryTest;

TEST_F(InitMemory, SendsCommand12WithTheBufferSumAndWaitsForRomok) {
  AppState& app = App();
  for (uint32_t a = 0; a < 0x100; ++a) app.code_buffer[a] = static_cast<uint8_t>(a);
  app.code_buffer[0x3C] = 0xA5;
  app.range_start = 0x20;
  app.range_end = 0xFF;
  app.memory_edited = true;
  app.header.Fill(0x55);                        // what a connect leaves behind
  window_->SetText(ctl::kChecksumBox, "1A2B");  // not what command 12 carries
  device_.memory()[0x1234] = 0x42;

  InitProgrammerMemory();

  const auto headers = Headers();
  ASSERT_EQ(headers.size(), 1u);
  const Bytes& h = headers[0];
  EXPECT_EQ(h[hdr::kCommand], cmd::kInitMemory);
  EXPECT_EQ(h[hdr::kMarker], kMarkerValue);  // BuildOperationHeader ran
  EXPECT_EQ(h[hdr::kCodeBytes], 0xA5);  // code byte 0x3C
  const uint16_t sum = BufferChecksum(App().code_buffer, 0, 0xFF);
  EXPECT_EQ(h[hdr::kChecksumHigh], sum >> 8);
  EXPECT_EQ(h[hdr::kChecksumLow], sum & 0xFF);
  // Start, end and every byte nothing fills are 0, not the connect's 0x55.
  for (int i : {4, 6, 7, 16, 17, 18, 19}) EXPECT_EQ(h[i], 0) << "byte " << i;
  EXPECT_EQ(app.range_start, 0u);

  EXPECT_EQ(window_.Statuses(),
            (std::vector<std::string>{kInitMemoryBusyText, kInitMemoryDoneText}));
  EXPECT_FALSE(app.link_fault);
  EXPECT_FALSE(app.memory_edited);
  EXPECT_EQ(device_.memory()[0x1234], 0xFF);  // erased
  // A real initialisation records nothing about the memory's content.
  EXPECT_FALSE(app.memory_loaded);
  EXPECT_EQ(app.checksum_end, 0u);
  // The reply: one-byte tries until 'R', the pause, then the four others.
  const auto reads = Calls("READ");
  ASSERT_GE(reads.size(), 3u);
  EXPECT_EQ(reads[reads.size() - 2], "1/1 52");
  EXPECT_EQ(reads.back(), "4/4 4F4D4F4B");
  EXPECT_EQ(Outline(), "H12 D50 D50");
}

TEST_F(InitMemory, NoRomokWaits600TriesAndAsksToInitialiseAgain) {
  device_.faults().no_romok = true;
  const int64_t start = clock_.NowUs();
  InitProgrammerMemory();
  EXPECT_EQ(EmptyTries(), 600u);
  // 600 tries of 18 ms: about 11 seconds.
  EXPECT_GE(clock_.NowUs() - start, 600 * 18'000);
  EXPECT_LT(clock_.NowUs() - start, 11'500'000);
  EXPECT_EQ(window_->Status(), kInitMemoryFailedText);
  EXPECT_TRUE(App().link_fault);
}

TEST_F(InitMemory, AReplyDifferingInAnyOfItsFiveBytesFails) {
  device_.faults().silent_after_header = cmd::kInitMemory;
  Bytes reply;
  hook_.after_write = [&](const uint8_t* buf, uint32_t n) {
    if (n == 21 && buf[hdr::kCommand] == cmd::kInitMemory)
      device_.SendRaw(reply.data(), reply.size(), clock_.NowUs() + 100'000);
  };
  for (size_t i = 0; i < 5; ++i) {
    reply = {'R', 'O', 'M', 'O', 'K'};
    reply[i] = static_cast<uint8_t>(reply[i] + 1);
    InitProgrammerMemory();
    EXPECT_TRUE(App().link_fault) << "byte " << i;
    EXPECT_EQ(window_->Status(), kInitMemoryFailedText) << "byte " << i;
  }
  // Only the first five bytes are read: "ROMOK" followed by more is good.
  reply = {'R', 'O', 'M', 'O', 'K', 'X', 'Y'};
  lines_.clear();
  InitProgrammerMemory();
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(window_->Status(), kInitMemoryDoneText);
  EXPECT_EQ(Calls("READ").back(), "4/4 4F4D4F4B");
}

TEST_F(InitMemory, AFailedHeaderExchangeLeavesItsOwnText) {
  device_.faults().silent = true;
  InitProgrammerMemory();
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_.Statuses(),
            std::vector<std::string>{"编程器连接错误! 编程器可能正忙,请稍候再试!"});
  EXPECT_EQ(EmptyTries(), 0u);
}

TEST_F(InitMemory, DebugModeOnlyRecordsTheRangeAndSendsNothing) {
  AppState& app = App();
  DebugModeOn();
  app.range_start = 0x10;
  app.range_end = 0x1FF;
  app.memory_edited = true;
  InitProgrammerMemory();
  EXPECT_TRUE(lines_.empty());
  EXPECT_TRUE(window_.Statuses().empty());
  EXPECT_TRUE(app.memory_loaded);
  EXPECT_FALSE(app.memory_edited);
  EXPECT_EQ(app.checksum_start, 0x10u);
  EXPECT_EQ(app.checksum_end, 0x1FFu);
}

TEST_F(InitMemory, RunsAsOperation20AndTheOperationsAreInTheTable) {
  for (uint8_t code : {OpMemoryChecksum, OpDownloadCode, OpInitMemory, OpOpenAndDownload})
    EXPECT_NE(FindOperation(code), nullptr) << int{code};
  RunOperationNow(OpInitMemory);
  const auto headers = Headers();
  ASSERT_EQ(headers.size(), 1u);
  EXPECT_EQ(headers[0][hdr::kCommand], cmd::kInitMemory);  // operation 20 reaches the programmer as 12
  EXPECT_EQ(window_->Status(), kInitMemoryDoneText);
  EXPECT_FALSE(App().busy);
}

// ---------------------------------------------------------------------------
// DownloadCode

using Download = MemoryTest;

TEST_F(Download, TheWireOfADownloadOfAUsedBlockInTheMiddle) {
  AppState& app = App();
  // Used bytes only at 0x0100-0x01FF in a 2 KiB image: the range is
  // 0x0000-0x07FF, the data 0x0100-0x01FF plus two filler bytes.
  const Bytes image = Image(0x800, 0x100, 0x1FF);
  UseBinFile(image);
  app.memory_edited = true;
  std::vector<int64_t> data_times;
  hook_.after_write = [&](const uint8_t*, uint32_t n) {
    if (n == 3) data_times.push_back(clock_.NowUs());
  };

  DownloadCode();

  EXPECT_EQ(Outline(), "H12 D50 D50 D200 H14 D50 D20 W3*86 D500 H13 D50 D50 D50 D50");
  const auto headers = Headers();
  ASSERT_EQ(headers.size(), 3u);
  // Initialise: start and end 0, the sum of 0..range_end.
  const uint16_t all = Sum(image, 0, 0x7FF);
  EXPECT_EQ(headers[0][hdr::kChecksumHigh], all >> 8);
  EXPECT_EQ(headers[0][hdr::kChecksumLow], all & 0xFF);
  for (size_t i : {hdr::kStartHigh, hdr::kStartMiddle, hdr::kStartLow, hdr::kEndHigh, hdr::kEndMiddle, hdr::kEndLow})
    EXPECT_EQ(headers[0][i], 0) << "byte " << i;
  // Announce: first 0x0100, last 0x01FF, the sum of first..last.
  const Bytes& announce = headers[1];
  EXPECT_EQ(announce[hdr::kCommand], cmd::kDownload);
  EXPECT_EQ((Bytes{announce[hdr::kStartHigh], announce[hdr::kStartMiddle], announce[hdr::kStartLow]}), (Bytes{0x00, 0x01, 0x00}));
  EXPECT_EQ((Bytes{announce[hdr::kEndHigh], announce[hdr::kEndMiddle], announce[hdr::kEndLow]}), (Bytes{0x00, 0x01, 0xFF}));
  const uint16_t used = Sum(image, 0x100, 0x1FF);
  EXPECT_EQ(announce[hdr::kChecksumHigh], used >> 8);
  EXPECT_EQ(announce[hdr::kChecksumLow], used & 0xFF);
  EXPECT_EQ(announce[hdr::kMarker], kMarkerValue);
  // Check: the whole range.
  const Bytes& check = headers[2];
  EXPECT_EQ(check[hdr::kCommand], cmd::kMemoryChecksum);
  EXPECT_EQ((Bytes{check[hdr::kStartHigh], check[hdr::kStartMiddle], check[hdr::kStartLow], check[hdr::kEndHigh],
                   check[hdr::kEndMiddle], check[hdr::kEndLow]}),
            (Bytes{0, 0, 0, 0, 0x07, 0xFF}));

  // 258 bytes in writes of exactly three, the last two from beyond 0x01FF.
  Bytes sent;
  for (const Bytes& w : DataWrites()) {
    ASSERT_EQ(w.size(), 3u);
    sent.insert(sent.end(), w.begin(), w.end());
  }
  ASSERT_EQ(sent.size(), 258u);
  EXPECT_EQ(sent, Bytes(image.begin() + 0x100, image.begin() + 0x202));
  EXPECT_EQ(sent[256], 0xFF);
  EXPECT_EQ(sent[257], 0xFF);
  // No pause and no acknowledgement between the writes: each follows the
  // last as soon as its three bytes are on the line.
  ASSERT_EQ(data_times.size(), 86u);
  EXPECT_EQ(data_times.back() - data_times.front(), 85 * 3 * kByteTimeUs);

  // One progress text, after 43 writes, naming the next address.
  std::vector<std::string> progress;
  for (const std::string& s : window_.Statuses())
    if (s.rfind(kDownloadProgressText, 0) == 0) progress.push_back(s);
  EXPECT_EQ(progress, std::vector<std::string>{std::string(kDownloadProgressText) + "00181"});

  // The programmer holds the code; the boxes and the state say so.
  for (uint32_t a = 0; a < 0x800; ++a) ASSERT_EQ(device_.memory()[a], image[a]) << a;
  EXPECT_FALSE(app.link_fault);
  EXPECT_TRUE(app.memory_loaded);
  EXPECT_FALSE(app.memory_edited);
  EXPECT_EQ(app.range_start, 0u);
  EXPECT_EQ(app.checksum_start, 0u);
  EXPECT_EQ(app.checksum_end, 0x7FFu);
  EXPECT_EQ(window_.Text(ctl::kStartAddress), "0000");
  EXPECT_EQ(window_.Text(ctl::kEndAddress), "07FF");
  const std::string digits = FormatNumber(all, 16, 4);
  EXPECT_EQ(window_.Text(ctl::kChecksumBox), digits);
  EXPECT_EQ(window_->Status(), std::string(kMemorySumResultText) + digits);
  EXPECT_TRUE(window_->Messages().empty());
}

TEST_F(Download, AFullRangeGoesOutWholeWithProgressEvery43Writes) {
  // One used byte at 0x0000 and one at 0x7FFF: all 32,768 bytes go, the
  // 0xFF bytes between included, in 10,923 writes.
  Bytes image(0x8000, 0xFF);
  image[0] = 0x12;
  image[0x7FFF] = 0x34;
  UseBinFile(image);

  DownloadCode();

  const auto data = DataWrites();
  ASSERT_EQ(data.size(), 10923u);
  EXPECT_EQ(data.front(), (Bytes{0x12, 0xFF, 0xFF}));
  EXPECT_EQ(data.back(), (Bytes{0xFF, 0x34, 0xFF}));  // 0x7FFE, 0x7FFF and one beyond
  std::vector<std::string> progress;
  for (const std::string& s : window_.Statuses())
    if (s.rfind(kDownloadProgressText, 0) == 0) progress.push_back(s.substr(s.size() - 5));
  ASSERT_EQ(progress.size(), 10922u / 43);
  for (size_t k = 0; k < progress.size(); ++k)
    ASSERT_EQ(progress[k], FormatNumber(static_cast<uint32_t>(129 * (k + 1)), 16, 5)) << k;
  EXPECT_TRUE(App().memory_loaded);
  EXPECT_EQ(window_.Text(ctl::kChecksumBox), FormatNumber(Sum(image, 0, 0x7FFF), 16, 4));
}

TEST_F(Download, AnAllErasedImageIsAnnouncedButSendsNoData) {
  const Bytes image(0x800, 0xFF);
  UseBinFile(image);
  DownloadCode();
  EXPECT_EQ(Outline(), "H12 D50 D50 D200 H14 D50 D20 D500 H13 D50 D50 D50 D50");
  const Bytes announce = Headers()[1];
  // first = range_end + 1, last = 0, an empty sum.
  EXPECT_EQ((Bytes{announce[hdr::kStartHigh], announce[hdr::kStartMiddle], announce[hdr::kStartLow]}), (Bytes{0x00, 0x08, 0x00}));
  EXPECT_EQ((Bytes{announce[hdr::kEndHigh], announce[hdr::kEndMiddle], announce[hdr::kEndLow], announce[hdr::kChecksumHigh], announce[hdr::kChecksumLow]}),
            (Bytes{0, 0, 0, 0, 0}));
  EXPECT_FALSE(App().link_fault);
  EXPECT_TRUE(App().memory_loaded);
  EXPECT_EQ(window_.Text(ctl::kChecksumBox), "F800");  // 0x800 bytes of 0xFF
}

TEST_F(Download, EveryFailureBeforeTheDataHasItsText) {
  struct Case {
    const char* name;
    void (*arrange)(SimFaults&);
    const char* status;
    size_t headers;
    int tries;  // empty one-byte reads; -1: not counted
  };
  const Case cases[] = {
      {"header exchange", [](SimFaults& f) { f.silent = true; },
       "编程器连接错误! 编程器可能正忙,请稍候再试!", 1, 0},
      {"no ROMOK", [](SimFaults& f) { f.no_romok = true; }, kDownloadInitFailedText, 1, 1500},
      {"silent after command 12", [](SimFaults& f) { f.silent_after_header = cmd::kInitMemory; },
       kDownloadInitFailedText, 1, 1500},
      {"wrong ROMOK", [](SimFaults& f) { f.wrong_romok = true; }, kDownloadInitFailedText, 1, -1},
  };
  UseBinFile(Image(0x800, 0, 0x7FF));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    device_.faults() = SimFaults{};
    c.arrange(device_.faults());
    lines_.clear();
    window_.ForgetStatuses();
    App().memory_loaded = false;
    const int64_t start = clock_.NowUs();
    DownloadCode();
    EXPECT_TRUE(App().link_fault);
    EXPECT_EQ(window_->Status(), c.status);
    EXPECT_EQ(Headers().size(), c.headers);
    if (c.tries >= 0) {
      EXPECT_EQ(EmptyTries(), static_cast<size_t>(c.tries));
    }
    EXPECT_TRUE(DataWrites().empty());
    EXPECT_FALSE(App().memory_loaded);
    // 1500 tries of 18 ms: about 27 seconds before giving up.
    if (c.tries == 1500) {
      EXPECT_GE(clock_.NowUs() - start, 27'000'000);
    }
  }
}

TEST_F(Download, AFailedLoadStopsBeforeAnyTraffic) {
  window_->SetText(ctl::kFileBox, "");
  App().memory_loaded = true;
  DownloadCode();
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), "请指定一个代码文件");
  EXPECT_TRUE(lines_.empty());
  EXPECT_TRUE(App().memory_loaded);

  window_->SetText(ctl::kFileBox, (dir_ / "missing.bin").string());
  DownloadCode();
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), "打开文件失败");
  EXPECT_TRUE(lines_.empty());
}

TEST_F(Download, AnUnansweredAnnounceStopsBeforeTheData) {
  UseBinFile(Image(0x800, 0, 0x7FF));
  hook_.before_write = [&](const uint8_t* buf, uint32_t n) {
    if (n == 21 && buf[hdr::kCommand] == cmd::kDownload) device_.faults().silent = true;
    return Action::kPass;
  };
  DownloadCode();
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), kDownloadNoAnswerText);
  EXPECT_EQ(Headers().size(), 2u);
  EXPECT_TRUE(DataWrites().empty());
  EXPECT_FALSE(App().memory_loaded);
}

TEST_F(Download, TheUsersStopEndsTheDataBeforeTheNextWrite) {
  UseBinFile(Image(0x800, 0, 0x7FF));
  int data_writes = 0;
  hook_.after_write = [&](const uint8_t*, uint32_t n) {
    if (n == 3 && ++data_writes == 10) App().user_abort = true;  // the double-click
  };
  for (bool loaded : {false, true}) {
    SCOPED_TRACE(loaded);
    App().memory_loaded = loaded;
    App().user_abort = true;  // a stale stop from before does not count
    data_writes = 0;
    lines_.clear();
    DownloadCode();
    EXPECT_EQ(data_writes, 10);
    EXPECT_EQ(window_->Status(), kDownloadAbortedText);
    EXPECT_FALSE(App().link_fault);
    // Half written, the memory holds no code a chip may get, whatever it
    // held before: before, a loaded memory counted as loaded still, and
    // auto-program passed chips with part of the code.
    EXPECT_FALSE(App().memory_loaded);
    EXPECT_EQ(window_.Text(ctl::kChecksumBox), "XXXX");
    EXPECT_EQ(Headers().size(), 2u);  // no checksum exchange
    // The programmer still waits for the rest of the data; a while later it
    // gives up and listens for headers again.
    clock_.SleepUs(2'000'000);
  }
  // A stop after the last byte went out cut nothing: the download ends with
  // its checksum and the memory counts as loaded.
  const int all_writes = (0x800 + 2) / 3;
  hook_.after_write = [&](const uint8_t*, uint32_t n) {
    if (n == 3 && ++data_writes == all_writes) App().user_abort = true;
  };
  data_writes = 0;
  lines_.clear();
  DownloadCode();
  EXPECT_FALSE(App().link_fault);
  EXPECT_TRUE(App().memory_loaded);
  EXPECT_EQ(Headers().size(), 3u);
}

TEST_F(Download, AWriteThatCannotCompleteEndsTheDataWithBothTexts) {
  UseBinFile(Image(0x800, 0, 0x7FF));
  for (Action refusal : {Action::kRefuse, Action::kFail}) {
    SCOPED_TRACE(refusal == Action::kRefuse ? "refused" : "failed");
    int data_writes = 0;
    hook_.before_write = [&](const uint8_t*, uint32_t n) {
      if (n != 3 || ++data_writes <= 5) return Action::kPass;
      return refusal;
    };
    hook_.refused = 0;
    App().count_failure = true;
    App().memory_loaded = false;
    window_.ForgetStatuses();
    lines_.clear();
    DownloadCode();
    // A port that keeps refusing is given up after the link's retry limit;
    // one that fails, at once.
    EXPECT_EQ(hook_.refused, refusal == Action::kRefuse ? kPortRetryLimit : 1);
    EXPECT_TRUE(App().link_fault);
    ASSERT_GE(window_.Statuses().size(), 2u);
    EXPECT_EQ(window_.Statuses().end()[-2], kConnectionErrorText);
    EXPECT_EQ(window_.Statuses().back(), kDownloadFailedText);
    EXPECT_FALSE(App().count_failure);
    EXPECT_FALSE(App().memory_loaded);
    EXPECT_EQ(Headers().size(), 2u);
    clock_.SleepUs(2'000'000);  // the programmer gives up waiting for the rest
  }
}

TEST_F(Download, AChecksumMismatchWarnsAndLeavesTheMemoryNotLoaded) {
  const Bytes image = Image(0x800, 0, 0x7FF);
  UseBinFile(image);
  device_.faults().sum_offset = 1;
  DownloadCode();
  ASSERT_EQ(window_->Messages().size(), 1u);
  EXPECT_EQ(window_->Messages()[0].caption, "警 告");
  EXPECT_EQ(window_->Messages()[0].text,
            "编程内存检查和错误!\n请尝试重新下载代码\n注意: 下载代码时请不要切换当前窗口\n"
            "或启动其它需要实时处理的软件,\n以免影响下载稳定性");
  EXPECT_EQ(window_->Messages()[0].icon, MsgIcon::kWarning);
  const std::string programmer =
      FormatNumber(static_cast<uint16_t>(Sum(image, 0, 0x7FF) + 1), 16, 4);
  EXPECT_EQ(window_->Status(), std::string("编程内存检查和 =  ") + programmer);
  EXPECT_EQ(window_.Text(ctl::kChecksumBox), programmer);
  EXPECT_TRUE(App().link_fault);
  EXPECT_FALSE(App().memory_loaded);
  EXPECT_EQ(App().checksum_end, 0x7FFu);  // recorded also after a mismatch
}

TEST_F(Download, AProgrammerThatStopsTakingTheStreamShowsInTheChecksum) {
  const Bytes image = Image(0x800, 0, 0x7FF);
  UseBinFile(image);
  device_.faults().stop_stream_after = 1000;
  DownloadCode();
  EXPECT_EQ(DataWrites().size(), 0x800u / 3 + 1);  // the PC cannot tell
  ASSERT_EQ(window_->Messages().size(), 1u);
  // The programmer reports the sum of what it kept: 1000 bytes, then erased.
  Bytes kept = image;
  std::fill(kept.begin() + 1000, kept.end(), 0xFF);
  EXPECT_EQ(window_.Text(ctl::kChecksumBox), FormatNumber(Sum(kept, 0, 0x7FF), 16, 4));
  EXPECT_TRUE(App().link_fault);
  EXPECT_FALSE(App().memory_loaded);
}

// The checksum step's "XXXX" alone does not say that the download failed:
// the download's failure text follows it, and the box shows no sum.
TEST_F(Download, AFailedChecksumExchangeEndsWithTheDownloadsFailureText) {
  UseBinFile(Image(0x800, 0, 0x7FF));
  window_->SetText(ctl::kChecksumBox, "ABCD");
  device_.faults().silent_after_header = cmd::kMemoryChecksum;
  DownloadCode();
  EXPECT_EQ(window_.Statuses().end()[-2], "编程内存检查和 =  XXXX");
  EXPECT_EQ(window_->Status(), kDownloadFailedText);
  EXPECT_EQ(window_.Text(ctl::kChecksumBox), "XXXX");
  EXPECT_TRUE(App().link_fault);
  EXPECT_FALSE(App().memory_loaded);
  EXPECT_TRUE(window_->Messages().empty());
}

TEST_F(Download, DebugModeLoadsAndShowsTheBufferSumWithoutTraffic) {
  AppState& app = App();
  DebugModeOn();
  const Bytes image = Image(0x1000, 0, 0x0FFF);
  UseBinFile(image);
  app.memory_edited = true;
  DownloadCode();
  EXPECT_TRUE(lines_.empty());
  const std::string digits = FormatNumber(Sum(image, 0, 0xFFF), 16, 4);
  EXPECT_EQ(window_.Text(ctl::kChecksumBox), digits);
  EXPECT_EQ(window_->Status(), std::string(kMemorySumResultText) + digits);
  EXPECT_EQ(window_.Text(ctl::kStartAddress), "0000");
  EXPECT_EQ(window_.Text(ctl::kEndAddress), "0FFF");
  EXPECT_TRUE(app.memory_loaded);
  EXPECT_FALSE(app.memory_edited);
  EXPECT_EQ(app.checksum_start, 0u);
  EXPECT_EQ(app.checksum_end, 0xFFFu);
  EXPECT_FALSE(app.link_fault);
}

TEST_F(Download, OpenAndDownloadRunsOnlyWhenAFileWasChosen) {
  const Bytes image = Image(0x300, 0, 0x2FF);
  const std::string path = UseBinFile(image);
  window_->SetText(ctl::kFileBox, "before.bin");
  window_.ChooseOpenFile(std::nullopt);  // cancelled
  RunOperationNow(OpOpenAndDownload);
  EXPECT_TRUE(lines_.empty());
  EXPECT_EQ(window_.Text(ctl::kFileBox), "before.bin");
  EXPECT_FALSE(App().link_fault);

  window_.ChooseOpenFile(path);
  RunOperationNow(OpOpenAndDownload);
  EXPECT_EQ(window_.Text(ctl::kFileBox), path);
  EXPECT_EQ(Headers().size(), 3u);
  EXPECT_TRUE(App().memory_loaded);
  EXPECT_FALSE(App().busy);

  // A .bin that holds HEX text, answered No: nothing loaded, nothing sent,
  // the programmer memory still counts as loaded with the code it holds.
  const uint8_t byte_before = App().code_buffer[0];
  const std::string text = (dir_ / "text.bin").string();
  std::ofstream(text, std::ios::binary) << ":0100000055AA\n";
  window_.ChooseOpenFile(text);
  window_.AnswerBoxes({MsgAnswer::kNo});
  RunOperationNow(OpOpenAndDownload);
  EXPECT_EQ(window_->Status(), "操作已中止");
  EXPECT_EQ(Headers().size(), 3u);
  EXPECT_TRUE(App().memory_loaded);
  EXPECT_EQ(App().code_buffer[0], byte_before);
}

// ---------------------------------------------------------------------------
// SendCodeRange alone

using DownloadRange = MemoryTest;

TEST_F(DownloadRange, NothingGoesOutForAnEmptyRangeAndTheBufferEndIsRespected) {
  AppState& app = App();
  app.link_fault = true;
  SendCodeRange(0x10, 0x0F);
  EXPECT_TRUE(lines_.empty());
  EXPECT_FALSE(app.link_fault);

  // A range at the very end of the buffer: the group that reaches past it
  // carries erased bytes, nothing from outside the buffer.
  app.code_buffer[kCodeBufferSize - 1] = 0x5A;
  SendCodeRange(kCodeBufferSize - 1, 0xFFFFFFFF);
  EXPECT_EQ(DataWrites(), std::vector<Bytes>{(Bytes{0x5A, 0xFF, 0xFF})});
  EXPECT_FALSE(app.link_fault);
}

}  // namespace
}  // namespace zvp::test
