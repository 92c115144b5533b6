// The code file loader against files written by real tools (srec_cat,
// objcopy), hand-made records for the reading rules, and files that are
// broken, huge or no files at all.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/app_state.h"
#include "ui/control_ids.h"
#include "progmem/code_file.h"
#include "tests/support/test_window.h"

namespace zvp {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Bytes = std::string;  // file contents and data, byte for byte

const char kLoaded[] = "调入代码成功!";
const char kNoCode[] = "代码文件错误[未包含有效代码]";
const char kBadLine[] = "代码文件错误[行检查和错误]";

std::string Damaged(int line) { return "代码文件错误[第" + std::to_string(line) + "行记录格式错误]"; }

std::string PastTop(const std::string& address) {
  return "代码文件错误[代码超出编程地址范围0000~7FFF, 在地址: " + address + "]";
}

// Reproducible data with every byte value, 0xFF included.
Bytes Pattern(size_t n, uint32_t seed) {
  Bytes b(n, '\0');
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    b[i] = static_cast<char>(seed >> 16);
  }
  return b;
}

// One Intel HEX record with a correct checksum, upper case, LF.
Bytes Record(uint16_t address, uint8_t type, const Bytes& data) {
  uint32_t sum = static_cast<uint32_t>(data.size()) + (address >> 8) + (address & 0xFF) + type;
  char head[16];
  std::snprintf(head, sizeof head, ":%02X%04X%02X", static_cast<unsigned>(data.size()), address,
                type);
  Bytes line = head;
  for (char c : data) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", static_cast<uint8_t>(c));
    line += pair;
    sum += static_cast<uint8_t>(c);
  }
  char tail[4];
  std::snprintf(tail, sizeof tail, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
  return line + tail;
}

// The same text with every LF replaced by `end` (CR alone, CR LF).
Bytes WithLineEnds(const Bytes& text, const Bytes& end) {
  Bytes out;
  for (char c : text) out += c == '\n' ? end : Bytes(1, c);
  return out;
}

std::string Hex4(uint32_t v) {
  char t[16];
  std::snprintf(t, sizeof t, "%04X", v);
  return t;
}

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetAppState();
    InstallWindow(&*window_);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    dir_ = fs::temp_directory_path() / ("zvp_loader_" + std::to_string(getpid()) + "_" + name);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    InstallWindow(nullptr);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string Write(const std::string& name, const Bytes& contents) const {
    std::ofstream(Path(name), std::ios::binary) << contents;
    return Path(name);
  }
  static Bytes Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  static void Sh(const std::string& command) {
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  // `data` placed at `offset` as a binary file, then converted by srec_cat
  // with the given output options.
  std::string SrecCat(const std::string& name, const Bytes& data, uint32_t offset,
                      const std::string& options) {
    const std::string bin = Write(name + ".src", data);
    Sh("srec_cat '" + bin + "' -binary -offset " + std::to_string(offset) + " -o '" + Path(name) +
       "' -intel " + options);
    return Path(name);
  }

  void Load(const std::string& path) {
    window_->SetText(ctl::kFileBox, path);
    LoadCodeFile();
  }

  // The buffer must hold exactly `placed` on 0xFF, the range end its value,
  // and the boxes the range and the sum of the bytes in it.
  void ExpectLoaded(const std::vector<std::pair<uint32_t, Bytes>>& placed, uint32_t range_end) {
    std::vector<uint8_t> want(kCodeBufferSize, 0xFF);
    for (const auto& [at, data] : placed) std::copy(data.begin(), data.end(), want.begin() + at);
    const auto& got = App().code_buffer;
    const auto diff = std::mismatch(want.begin(), want.end(), got.begin());
    EXPECT_EQ(diff.first, want.end())
        << "first difference at 0x" << std::hex << (diff.first - want.begin());
    uint32_t sum = 0;
    for (uint32_t a = 0; a <= range_end; ++a) sum += want[a];
    EXPECT_FALSE(App().link_fault);
    EXPECT_EQ(window_->Status(), kLoaded);
    EXPECT_EQ(App().range_start, 0u);
    EXPECT_EQ(App().range_end, range_end);
    EXPECT_EQ(window_.Text(ctl::kStartAddress), "0000");
    EXPECT_EQ(window_.Text(ctl::kEndAddress), Hex4(range_end));
    EXPECT_EQ(window_.Text(ctl::kChecksumBox), Hex4(sum & 0xFFFF));
  }

  // A failed load: the status, link_fault, and range and boxes untouched.
  void ExpectFailed(const std::string& status) {
    EXPECT_TRUE(App().link_fault);
    EXPECT_EQ(window_->Status(), status);
    EXPECT_EQ(App().range_end, 0x1234u);
    EXPECT_EQ(window_.Text(ctl::kEndAddress), "1234");
    EXPECT_EQ(window_.Text(ctl::kChecksumBox), "ABCD");
  }
  void MarkRangeAndBoxes() {
    App().range_end = 0x1234;
    window_->SetText(ctl::kEndAddress, "1234");
    window_->SetText(ctl::kChecksumBox, "ABCD");
  }

  test::TestWindow window_;
  fs::path dir_;
};

class LoaderRealFiles : public LoaderTest {};
class LoaderRules : public LoaderTest {};
class LoaderRawImage : public LoaderTest {};
class LoaderBox : public LoaderTest {};
class LoaderHostileFiles : public LoaderTest {};

// ---- Files written by real tools ----

// Real tools' files whose data reach past 0x7FFF are refused, naming where:
// srec_cat with extended segment records (20-bit addresses, data from
// 0x8000) and objcopy's 16-byte records with segment records above 64 KiB
// (data from 0). Before, their ends were masked to 15 bits (0x0FFF, 0x116F)
// and the load reported success over a fraction of the code.
TEST_F(LoaderRealFiles, DataPastTheTopAreRefused) {
  Bytes data = Pattern(0x11000, 1);
  data[0] = 0x3C;
  for (const char* per_record : {"16", "32"}) {
    SCOPED_TRACE(per_record);
    const std::string hex =
        SrecCat("seg.hex", data, 0x8000, std::string("-address-length=3 -obs=") + per_record);
    ASSERT_NE(Read(hex).find(":020000021000EC"), Bytes::npos) << "no segment record";
    MarkRangeAndBoxes();
    Load(hex);
    ExpectFailed(PastTop("08000"));
  }

  Bytes code = Pattern(70000, 2);
  code[0x8000] = 0x5A;
  const std::string bin = Write("o.bin", code);
  Sh("objcopy -I binary -O ihex '" + bin + "' '" + Path("o.hex") + "'");
  ASSERT_NE(Read(Path("o.hex")).find(":02000002"), Bytes::npos);
  MarkRangeAndBoxes();
  Load(Path("o.hex"));
  ExpectFailed(PastTop("08000"));

  // The same image with nothing but erased bytes above 0x7FFF (a padded
  // image) loads: the range ends at the top.
  std::fill(code.begin() + 0x8000, code.end(), '\xFF');
  Write("o.bin", code);
  Sh("objcopy -I binary -O ihex '" + bin + "' '" + Path("o.hex") + "'");
  Load(Path("o.hex"));
  ExpectLoaded({{0, code}}, 0x7FFF);
}

// The same srec_cat file with CR LF line ends and in lower case, and with its
// records in falling order, loads the same.
TEST_F(LoaderRealFiles, RewrittenLinesLoadTheSame) {
  const Bytes data = Pattern(0x7000, 3);
  const Bytes original = Read(SrecCat("a.hex", data, 0x100, "-address-length=3"));

  Bytes crlf_lower;
  for (char c : original) {
    if (c == '\n') crlf_lower += '\r';
    crlf_lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  Load(Write("crlf.hex", crlf_lower));
  ExpectLoaded({{0x100, data}}, 0x100 + 0x7000 - 1);

  // Falling order needs no segment records: stay below 64 KiB.
  const Bytes low = Pattern(0x3000, 4);
  std::istringstream lines(Read(SrecCat("low.hex", low, 0, "-address-length=2")));
  std::vector<std::string> records;
  for (std::string l; std::getline(lines, l);) records.push_back(l + "\n");
  std::reverse(records.begin(), records.end());
  Bytes reversed;
  for (const auto& r : records) reversed += r;
  Load(Write("rev.hex", reversed));
  ExpectLoaded({{0, low}}, 0x2FFF);
}

// Two srec_cat files one after the other: the first one's end-of-file record
// stands mid-file and reading goes on. Every other data record of the second
// is rewritten as type 0x20 (checksum adjusted), which stores the same.
TEST_F(LoaderRealFiles, EndRecordMidFileAndType20) {
  const Bytes a = Pattern(0x100, 5), b = Pattern(0x100, 6);
  std::istringstream second(Read(SrecCat("b.hex", b, 0x400, "-address-length=2 -obs=16")));
  Bytes joined = Read(SrecCat("a.hex", a, 0, "-address-length=2"));
  ASSERT_NE(joined.find(":00000001FF"), Bytes::npos);
  int n = 0;
  for (std::string l; std::getline(second, l);) {
    if (l.size() > 9 && l.compare(7, 2, "00") == 0 && n++ % 2 == 0) {
      const unsigned sum = std::stoul(l.substr(l.size() - 2), nullptr, 16);
      char fixed[3];
      std::snprintf(fixed, sizeof fixed, "%02X", (sum - 0x20) & 0xFF);
      l = l.substr(0, 7) + "20" + l.substr(9, l.size() - 11) + fixed;
    }
    joined += l + "\n";
  }
  ASSERT_GT(n, 1);
  Load(Write("joined.hex", joined));
  ExpectLoaded({{0, a}, {0x400, b}}, 0x04FF);
}

// Extended linear records (srec_cat's and objcopy's choice beyond 20 bits)
// place data above 64 KiB where they belong, so the load refuses them
// instead of writing them over the code at the bottom; what lies past the
// 1 MiB buffer is never written.
TEST_F(LoaderRealFiles, LinearRecordsAndPastTheEnd) {
  Bytes low = Pattern(0x80, 7), high = Pattern(0x40, 8);
  high[0] = 0x01;
  Bytes text = Read(SrecCat("low.hex", low, 0, "-address-length=4"));
  text += Read(SrecCat("high.hex", high, 0x20000, "-address-length=4"));
  MarkRangeAndBoxes();
  Load(Write("lin.hex", text));
  ExpectFailed(PastTop("20000"));
  EXPECT_EQ(std::memcmp(App().code_buffer.data() + 0x20000, high.data(), high.size()), 0);

  // objcopy at 0xFFF00: half in the buffer, half past its end (type 04 0x0010).
  Bytes data = Pattern(0x200, 9);
  data[0] = 0x02;
  Sh("objcopy -I binary -O ihex --change-addresses 0xFFF00 '" + Write("e.bin", data) + "' '" +
     Path("e.hex") + "'");
  ASSERT_NE(Read(Path("e.hex")).find(":020000040010EA"), Bytes::npos);
  Load(Path("e.hex"));
  ExpectFailed(PastTop("FFF00"));
}

// ---- The reading rules, record by record ----

struct RuleCase {
  const char* what;
  Bytes text;
  std::vector<std::pair<uint32_t, Bytes>> placed;
  uint32_t range_end;
};

TEST_F(LoaderRules, RecordsTakenAndPassedOver) {
  const Bytes d16 = Pattern(16, 10), e16 = Pattern(16, 11), two = Pattern(2, 12);
  const Bytes at0 = Record(0, 0, d16);  // 0x0000..0x000F
  const Bytes at0_text = at0.substr(0, at0.size() - 1);
  const std::vector<RuleCase> cases = {
      {"falling order: the extent of the first",
       Record(0x100, 0, e16) + at0,
       {{0x100, e16}, {0, d16}},
       0x010F},
      {"segment 0x0100", Record(0, 2, "\x01\x00"s) + at0, {{0x1000, d16}}, 0x100F},
      {"text and spaces before the last colon",
       "  " + at0 + "x:y:" + Record(0x10, 0, e16),
       {{0, d16}, {0x10, e16}},
       0x001F},
      {"white space after the record", at0_text + " \t \r\n" + Record(0x10, 0, e16) + "\n \n",
       {{0, d16}, {0x10, e16}}, 0x001F},
      {"digits after the checksum are not looked at", at0_text + "ABC\n", {{0, d16}}, 0x000F},
      {"NUL before the colon", Bytes("\0\0", 2) + at0, {{0, d16}}, 0x000F},
      {"empty record above the extent moves it", at0 + Record(0x200, 0, ""), {{0, d16}}, 0x01FF},
      {"record reaching past the extent raises it",
       at0 + Record(0x08, 0, e16),
       {{0, d16.substr(0, 8)}, {8, e16}},
       0x0017},
      {"other types passed over",
       Record(0, 3, "\x12\x34\x56\x78"s) + Record(0, 5, "\1\2\3\4"s) + Record(0, 1, "") +
           Record(4, 0, two),
       {{4, two}},
       0x0005},
      {"last line without a line end", at0_text, {{0, d16}}, 0x000F},
      // An old editor's lone CR ends a line as LF does: every record is
      // taken, not only the last one of each run of CR lines.
      {"lines ended by CR alone",
       WithLineEnds(at0 + Record(0x10, 0, e16) + Record(0x20, 0, two), "\r"),
       {{0, d16}, {0x10, e16}, {0x20, two}},
       0x0021},
      {"CR alone, CR LF and LF mixed",
       WithLineEnds(at0, "\r") + WithLineEnds(Record(0x10, 0, e16), "\r\n") + "\r\r\n" +
           Record(0x20, 0, two),
       {{0, d16}, {0x10, e16}, {0x20, two}},
       0x0021},
      // A colon that holds no record's digits before the record's own.
      {"a time before the record", "; built 12:30 :" + at0.substr(1), {{0, d16}}, 0x000F},
  };
  for (const RuleCase& c : cases) {
    SCOPED_TRACE(c.what);
    ResetAppState();
    Load(Write("rule.hex", c.text));
    ExpectLoaded(c.placed, c.range_end);
  }
}

// A record that a foreign character or a cut damaged fails the load at its
// line, as a checksum error does: its bytes must not stay erased under a
// success. Records before it stay in the buffer; range and boxes are kept.
TEST_F(LoaderRules, DamagedRecordsFailTheLoad) {
  const Bytes d16 = Pattern(16, 10);
  const Bytes at0 = Record(0, 0, d16);
  const Bytes at10 = Record(0x10, 0, Pattern(16, 11));
  struct Damage {
    const char* what;
    Bytes text;
    int line;
  };
  const std::vector<Damage> cases = {
      {"a letter outside the hex digits",
       at0 + ":10001000000102G30405060708090A0B0C0D0E0F68\n", 2},
      {"a space after the colon", at0 + ": " + at10.substr(1), 2},
      {"a space between digits", at0 + at10.substr(0, 9) + " " + at10.substr(9), 2},
      {"a tab inside the record", ":02000000\t712ED\n", 1},
      {"NUL after the colon", at0 + Bytes(":1000100\0", 9) + "0\n", 2},
      {"a lone colon", "\n" + at0 + ":\n", 3},
      {"too short for a record", at0 + ":0000000\n", 2},
      {"shorter than its length byte says", at0 + ":10002000AA\n", 2},
      {"cut one digit short, with CR LF", at0 + at10.substr(0, at10.size() - 2) + "\r\n", 2},
      {"a comment after a colon", "; built 12:30\n" + at0, 1},
      // Only the last colon of a line starts the record that is read: a
      // record before it on the same line would be lost.
      {"two records on one line", at0.substr(0, at0.size() - 1) + at10, 1},
      {"a record before the record, apart",
       at0 + at0.substr(0, at0.size() - 1) + " ; " + at10, 2},
      // Line numbers count a lone CR as a line end.
      {"damage on the third CR line",
       WithLineEnds(at0 + at10 + ":1000200000GG\n" + at0, "\r"), 3},
      {"damage after CR LF, CR and LF lines",
       WithLineEnds(at0, "\r\n") + WithLineEnds(at10, "\r") + at0 + ": 00\r", 4},
  };
  for (const Damage& c : cases) {
    SCOPED_TRACE(c.what);
    ResetAppState();
    MarkRangeAndBoxes();
    Load(Write("damaged.hex", c.text));
    ExpectFailed(Damaged(c.line));
    // The records before the damage stay in the buffer, as after a checksum
    // error.
    if (c.text.rfind(at0, 0) == 0) {
      EXPECT_EQ(std::memcmp(App().code_buffer.data(), d16.data(), d16.size()), 0);
    }
  }
}

// A record past the buffer's end is cut there and one wholly past it is
// dropped, but either is data past the top: refused.
TEST_F(LoaderRules, NothingWrittenPastTheBuffer) {
  Bytes d16 = Pattern(16, 13);
  d16[0] = 0x01;
  MarkRangeAndBoxes();
  Load(Write("cut.hex", Record(0, 2, "\xF0\x00"s) + Record(0xFFF8, 0, d16)));
  ExpectFailed(PastTop("FFFF8"));
  EXPECT_EQ(std::memcmp(App().code_buffer.data() + 0xFFFF8, d16.data(), 8), 0);

  Load(Write("past.hex", Record(0, 2, "\xFF\xFF"s) + Record(0xFFF0, 0x20, d16)));
  ExpectFailed(PastTop("10FFE0"));
}

// A bad checksum stops the load: records before it stay, later ones are not
// read, and the range and the boxes keep their values.
TEST_F(LoaderRules, LineChecksumError) {
  const Bytes a = Pattern(16, 14), b = Pattern(16, 15);
  // The same record with its checksum one off.
  Bytes bad = Record(0x10, 0, b);
  char wrong[3];
  const unsigned sum = std::stoul(bad.substr(bad.size() - 3, 2), nullptr, 16);
  std::snprintf(wrong, sizeof wrong, "%02X", (sum + 1) & 0xFF);
  bad.replace(bad.size() - 3, 2, wrong);
  MarkRangeAndBoxes();
  Load(Write("bad.hex", Record(0, 0, a) + bad + Record(0x20, 0, b)));
  ExpectFailed(kBadLine);
  EXPECT_EQ(std::memcmp(a.data(), App().code_buffer.data(), a.size()), 0);
  EXPECT_TRUE(std::all_of(App().code_buffer.begin() + 0x10, App().code_buffer.end(),
                          [](uint8_t v) { return v == 0xFF; }));
}

// ---- Raw images, names, the box and the dialog ----

TEST_F(LoaderRawImage, Sizes) {
  const Bytes small = Pattern(0x2000, 0x2000);
  Load(Write("image.bin", small));
  ExpectLoaded({{0, small}}, 0x1FFF);

  // Past 0x7FFF: refused where data lie there, the top taken where only
  // erased bytes do (a padded image). Before, 0x9000 bytes gave 0x0FFF.
  for (uint32_t size : {0x8001u, 0x9000u}) {
    SCOPED_TRACE(size);
    Bytes data = Pattern(size, size);
    data[0x8000] = 0x00;
    MarkRangeAndBoxes();
    Load(Write("image.bin", data));
    ExpectFailed(PastTop("08000"));
    std::fill(data.begin() + 0x8000, data.end(), '\xFF');
    Load(Write("image.bin", data));
    ExpectLoaded({{0, data}}, 0x7FFF);
  }
  // Longer than the buffer: the first 1 MiB is read, nothing past it; a file
  // that goes on past the buffer is refused even when erased up to there.
  Bytes big(kCodeBufferSize + 4096, '\xFF');
  big[0] = 0x11;
  MarkRangeAndBoxes();
  Load(Write("big.BIN", big));
  ExpectFailed(PastTop("100000"));

  MarkRangeAndBoxes();
  Load(Write("empty.bin", ""));
  ExpectFailed(kNoCode);
}

// Only the last four characters of the name decide, in any case. A raw
// image whose bytes are HEX text is loaded as such only when the user says
// so: the question defaults to No, and No loads nothing (before, the text
// was loaded and could be programmed without a word).
TEST_F(LoaderRawImage, NameDecidesTheFormat) {
  const Bytes text = Record(0, 0, "\x11\x22"s);
  std::vector<MessageBox> boxes;
  window_.OnMessageBox([&](const MessageBox& box) { boxes.push_back(box); });
  for (const char* raw : {"a.BIN", "a.Bin", "x.hex.bin"}) {
    boxes.clear();
    window_.AnswerBoxes({MsgAnswer::kYes});
    Load(Write(raw, text));
    ExpectLoaded({{0, text}}, text.size() - 1);
    EXPECT_EQ(boxes.size(), 1u);
    if (boxes.empty()) continue;
    EXPECT_EQ(boxes[0].caption, "确 认");
    EXPECT_EQ(boxes[0].text,
              "该BIN文件的内容是HEX格式的文本!\n按BIN文件调入将把文本字符当作代码编程到芯片中.\n"
              "若是HEX文件,请将文件扩展名改为.hex后重新打开.\n确实要按BIN文件调入吗?");
    EXPECT_EQ(boxes[0].buttons, MsgButtons::kYesNo);
    EXPECT_TRUE(boxes[0].default_is_second);
  }
  for (const char* hex : {"a.hex", "a.OBJ", "a.bin.txt", "bin"}) {
    boxes.clear();
    Load(Write(hex, text));
    ExpectLoaded({{0, "\x11\x22"s}}, 0x0001);
    EXPECT_TRUE(boxes.empty());
  }

  // No: nothing loaded, the buffer, range and boxes as they were.
  const Bytes two_lines = "\xEF\xBB\xBF \r\n\t" + WithLineEnds(text + text, "\r\n");
  for (const Bytes& hex_text : {text, two_lines}) {
    boxes.clear();
    MarkRangeAndBoxes();
    App().code_buffer.fill(0xFF);
    App().code_buffer[0] = 0x42;
    window_.AnswerBoxes({MsgAnswer::kNo});
    Load(Write("text.bin", hex_text));
    ExpectFailed("操作已中止");
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(App().code_buffer[0], 0x42);
    EXPECT_EQ(App().code_buffer[1], 0xFF);
  }

  // Binaries are never asked about, also those that begin with a colon.
  // A line as long as the shortest record but shorter than its length
  // byte asks; one with a wrong checksum; a record that binary follows on
  // its line; a space after the colon; a record after more blanks than any
  // text file begins with.
  const Bytes record = text.substr(0, text.size() - 1);
  for (const Bytes& image :
       {Pattern(0x1000, 20), ":1000000001\r" + Pattern(0x100, 21), ":00000001FE\n" + text,
        record + Bytes("\x00\x01", 2), ": " + record, Bytes(5000, ' ') + text}) {
    boxes.clear();
    Load(Write("image.bin", image));
    ExpectLoaded({{0, image}}, image.size() - 1);
    EXPECT_TRUE(boxes.empty());
  }
}

TEST_F(LoaderBox, EmptyBoxAndOpenFailures) {
  App().link_fault = false;
  Load("");
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), "请指定一个代码文件");

  // A HEX file that cannot be opened leaves the buffer as it was; a raw
  // image erases it first. A directory is no file.
  App().code_buffer[5] = 0x00;
  MarkRangeAndBoxes();
  for (const std::string& name : {Path("missing.hex"), dir_.string()}) {
    Load(name);
    ExpectFailed("打开代码文件失败!请确认该文件是否存在或对该文件是否有存取权限!");
    EXPECT_EQ(App().code_buffer[5], 0x00);
  }
  Load(Path("missing.bin"));
  ExpectFailed("打开文件失败");
  EXPECT_EQ(App().code_buffer[5], 0xFF);

  // A successful load clears the fault and reports its progress.
  window_.ForgetStatuses();
  Load(Write("ok.hex", Record(0, 0, "\1"s)));
  EXPECT_FALSE(App().link_fault);
  EXPECT_EQ(window_.Statuses(), (std::vector<std::string>{"调入代码文件.....", kLoaded}));
}

TEST_F(LoaderBox, ChinesePath) {
  fs::create_directories(dir_ / fs::path(u8"代码"));
  const Bytes data = Pattern(0x40, 17);
  Write("代码/程序一.hex", Record(0x20, 0, data));
  Load(Path("代码/程序一.hex"));
  ExpectLoaded({{0x20, data}}, 0x005F);
}

TEST_F(LoaderBox, ChooseCodeFile) {
  window_->SetText(ctl::kFileBox, "old.hex");
  window_.ChooseOpenFile(std::nullopt);
  EXPECT_FALSE(ChooseCodeFile());
  EXPECT_EQ(window_.Text(ctl::kFileBox), "old.hex");

  window_.ChooseOpenFile("/home/用户/新.bin");
  EXPECT_TRUE(ChooseCodeFile());
  EXPECT_EQ(window_.Text(ctl::kFileBox), "/home/用户/新.bin");
  ASSERT_EQ(window_.FiltersAsked().size(), 2u);
  EXPECT_EQ(window_.FiltersAsked()[1],
            "hex文件(*.hex)|*.hex|OBJ文件(*.*)|*.obj|BIN文件(*.*)|*.bin||");
}

// ---- Files that are no code files: a clear outcome in bounded time ----

TEST_F(LoaderHostileFiles, EndClearly) {
  using Clock = std::chrono::steady_clock;
  const auto t0 = Clock::now();

  // 100 MB of NUL bytes without a line end (sparse, so cheap to make).
  const std::string nul = Write("nul.hex", "");
  fs::resize_file(nul, 100u << 20);
  Load(nul);
  EXPECT_EQ(window_->Status(), kNoCode);
  fs::rename(nul, Path("nul.bin"));
  Load(Path("nul.bin"));
  EXPECT_EQ(window_->Status(), PastTop("08000"));

  // One line of 8 MB: hex digits after a colon (a record of LL 0x30 whose
  // checksum fails), and text before a good record on the same line.
  Load(Write("long.hex", ":30" + Bytes(8u << 20, '7') + "\n"));
  EXPECT_EQ(window_->Status(), kBadLine);
  Load(Write("junk.hex", Bytes(8u << 20, 'x') + Record(0, 0, "\x5A"s)));
  ExpectLoaded({{0, "\x5A"s}}, 0);

  // Random bytes: any outcome of the table, never a crash.
  for (uint32_t seed = 0; seed < 20; ++seed) {
    Load(Write("noise.hex", Pattern(200000, seed)));
    const std::string s = window_->Status();
    EXPECT_TRUE(s == kNoCode || s == kBadLine || s == kLoaded ||
                s.rfind("代码文件错误[第", 0) == 0 || s.rfind(PastTop("").substr(0, 40), 0) == 0)
        << s;
  }

  // A pipe would block a reader for ever: refused like a missing file.
  ASSERT_EQ(mkfifo(Path("fifo.bin").c_str(), 0600), 0);
  Load(Path("fifo.bin"));
  EXPECT_EQ(window_->Status(), "打开文件失败");

  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(20));
}

}  // namespace
}  // namespace zvp
