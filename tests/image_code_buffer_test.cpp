#include <gtest/gtest.h>

#include <string>

#include "core/app_state.h"
#include "ui/control_ids.h"
#include "image/code_buffer.h"
#include "link/address_range.h"
#include "tests/support/test_window.h"

namespace zvp {
namespace {

class CodeBufferTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetAppState(); }
  uint8_t& At(uint32_t a) { return App().code_buffer[a]; }
};

TEST_F(CodeBufferTest, ChecksumSumsInclusiveRangeModulo65536) {
  EXPECT_EQ(BufferChecksum(App().code_buffer, 0, 0x7FFF), 0x8000);  // 0x8000 bytes of 0xFF
  EXPECT_EQ(BufferChecksum(App().code_buffer, 0, 0x101), 0x00FE);   // 0x102 * 0xFF wrapped
  At(0x10) = 0x01;
  At(0x11) = 0x02;
  EXPECT_EQ(BufferChecksum(App().code_buffer, 0x10, 0x11), 3);
  EXPECT_EQ(BufferChecksum(App().code_buffer, 0x11, 0x11), 2);
  EXPECT_EQ(BufferChecksum(App().code_buffer, 0x12, 0x11), 0);
}

TEST_F(CodeBufferTest, ScansFindTheUsedPart) {
  EXPECT_EQ(FirstUsedAddress(App().code_buffer, 0, 0x7FFF), 0x8000u);
  EXPECT_EQ(LastUsedAddress(App().code_buffer, 0, 0x7FFF), 0u);
  At(5) = 0x00;
  At(0x20) = 0x12;
  At(0x40) = 0x34;
  At(0x60) = 0x56;
  EXPECT_EQ(FirstUsedAddress(App().code_buffer, 0, 0x7FFF), 5u);
  EXPECT_EQ(FirstUsedAddress(App().code_buffer, 6, 0x7FFF), 0x20u);
  EXPECT_EQ(FirstUsedAddress(App().code_buffer, 0x21, 0x3F), 0x40u);  // none inside: last + 1
  EXPECT_EQ(LastUsedAddress(App().code_buffer, 0, 0x7FFF), 0x60u);
  EXPECT_EQ(LastUsedAddress(App().code_buffer, 0, 0x5F), 0x40u);
  EXPECT_EQ(LastUsedAddress(App().code_buffer, 0x21, 0x3F), 0x21u);  // first, although erased
  // An inverted range reads nothing.
  EXPECT_EQ(FirstUsedAddress(App().code_buffer, 0x30, 0x10), 0x11u);
  EXPECT_EQ(LastUsedAddress(App().code_buffer, 0x60, 0x20), 0x60u);
}

TEST_F(CodeBufferTest, RangesAreCutAtTheEndOfTheBuffer) {
  const uint32_t end = kCodeBufferSize - 1;
  At(end) = 0x12;
  EXPECT_EQ(BufferChecksum(App().code_buffer, end - 1, 0xFFFFFFFF), 0xFF + 0x12);
  EXPECT_EQ(BufferChecksum(App().code_buffer, kCodeBufferSize, 0xFFFFFFFF), 0);
  EXPECT_EQ(FirstUsedAddress(App().code_buffer, end - 3, 0xFFFFFFFF), end);
  EXPECT_EQ(LastUsedAddress(App().code_buffer, 0, 0xFFFFFFFF), end);
  At(end) = 0xFF;
  EXPECT_EQ(FirstUsedAddress(App().code_buffer, end - 3, 0x200000), kCodeBufferSize);

  At(0x1234) = 0;
  EraseCodeBuffer(App().code_buffer);
  EXPECT_EQ(FirstUsedAddress(App().code_buffer, 0, end), kCodeBufferSize);
}

class AddressRangeTest : public CodeBufferTest {
 protected:
  void SetUp() override {
    CodeBufferTest::SetUp();
    InstallWindow(&*window_);
  }
  void TearDown() override { InstallWindow(nullptr); }

  int Read(const std::string& start, const std::string& end) {
    window_->SetText(ctl::kStartAddress, start);
    window_->SetText(ctl::kEndAddress, end);
    return ReadAddressRange();
  }
  void ExpectRange(uint32_t start, uint32_t end, const std::string& start_box,
                   const std::string& end_box) {
    EXPECT_EQ(App().range_start.load(), start);
    EXPECT_EQ(App().range_end.load(), end);
    EXPECT_EQ(window_.Text(ctl::kStartAddress), start_box);
    EXPECT_EQ(window_.Text(ctl::kEndAddress), end_box);
  }

  test::TestWindow window_;
};

TEST_F(AddressRangeTest, ReadsAndCorrectsTheBoxes) {
  EXPECT_EQ(Read("1", "20"), 0);
  ExpectRange(1, 0x20, "1", "20");
  EXPECT_EQ(Read("", "7FFF"), 0);
  ExpectRange(0, 0x7FFF, "0000", "7FFF");
  EXPECT_EQ(Read("", ""), 0);
  ExpectRange(0, 0, "0000", "0000");
  EXPECT_EQ(Read("8000", "1234"), 0);
  ExpectRange(0x7FFF, 0x7FFF, "7FFF", "7FFF");
  EXPECT_EQ(Read("0010", "9000"), 0);
  ExpectRange(0x10, 0x7FFF, "0010", "7FFF");
  EXPECT_EQ(Read("0100", "0080"), 0);
  ExpectRange(0x100, 0x100, "0100", "0100");
  EXPECT_EQ(Read("7fff", "7fff"), 0);
  ExpectRange(0x7FFF, 0x7FFF, "7FFF", "7FFF");
  EXPECT_EQ(Read("0a0", "0b0"), 0);
  ExpectRange(0xA0, 0xB0, "0a0", "0b0");
}

TEST_F(AddressRangeTest, OnlyTheLastFourCharactersCount) {
  EXPECT_EQ(Read("12345", "Z0040"), 0);
  ExpectRange(0x2345, 0x2345, "12345", "2345");
  // Longer than RightAlign takes; and the box is read up to 127 characters.
  const std::string end = std::string(123, 'Z') + "0ABC" + "7777";
  EXPECT_EQ(Read(std::string(50, 'Q') + "0001", end), 0);
  EXPECT_EQ(App().range_start.load(), 1u);
  EXPECT_EQ(App().range_end.load(), 0xABCu);
}

TEST_F(AddressRangeTest, ControlCharactersPassButReadAsTooHigh) {
  EXPECT_EQ(Read("\t001", "0002"), 0);
  ExpectRange(0x7FFF, 0x7FFF, "7FFF", "7FFF");
  EXPECT_EQ(Read("0001", "12\r\n"), 0);
  ExpectRange(1, 0x7FFF, "0001", "7FFF");
}

// A bad box leaves both fields as they were: a good start stored beside a
// stale end made an inverted range (0x0010..0x0000) that the programmer was
// then sent.
TEST_F(AddressRangeTest, BadCharacterStopsTheRead) {
  App().range_start = 0x55;
  App().range_end = 0x66;
  EXPECT_EQ(Read("G123", "0100"), -1);
  ExpectRange(0x55, 0x66, "G123", "0100");
  App().range_end = 0;
  EXPECT_EQ(Read("0010", "FFFh"), -1);
  ExpectRange(0x55, 0, "0010", "FFFh");
  EXPECT_EQ(Read("0010", ""), 0);  // the end box was filled in
}

}  // namespace
}  // namespace zvp
