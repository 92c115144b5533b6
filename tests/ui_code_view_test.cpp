// The code view: which page a refresh shows, how its cells read, where the
// bytes come from, and what a failed read leaves on screen.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "ui/control_ids.h"
#include "engine/code_view.h"
#include "engine/engine.h"
#include "link/operation_header.h"
#include "tests/support/link_fixture.h"
#include "ui/code_view_panel.h"
#include "ui/dispatcher.h"
#include "tests/support/header_from_window.h"

namespace zvp::test {
namespace {

constexpr char kSection[] = "当前显示代码区段:  ";

class CodeViewTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    OpenQuietly();
    // As the first "显示内存数据" leaves the window before its operation.
    ShowCodeView(1);
    SetupCodeView();
    BuildHeaderFromWindow();  // as StartOperation does
    for (uint32_t a = 0; a < kSimMemorySize; ++a)
      device_.memory()[a] = static_cast<uint8_t>(a * 7 + (a >> 8));
  }
  void SetAddress(const std::string& text) {
    window_->SetText(ctl::kViewAddress, text);
    RefreshCodeView(OpViewSetAddress);
  }
  // The page on screen, read back from the cells as hexadecimal.
  void ExpectPage(uint32_t page, const std::vector<uint8_t>& source) {
    for (int row = 0; row < 16; ++row) {
      EXPECT_EQ(window_->ListCell(row, 0), FormatHex(page + 16 * row, 5));
      for (int col = 1; col <= 16; ++col)
        EXPECT_EQ(window_->ListCell(row, col), FormatHex(source[page + 16 * row + col - 1], 2))
            << row << "," << col;
    }
  }
  static std::string FormatHex(uint32_t v, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", width, v);
    return buf;
  }
};

TEST_F(CodeViewTest, AddressBoxChoosesTheRoundedPage) {
  SetAddress("1234");
  EXPECT_EQ(App().view_address, 0x1230u);
  EXPECT_EQ(window_.Text(ctl::kViewAddress), "01230");
  EXPECT_EQ(window_->Status(), std::string(kSection) + "01230~0132F");
  EXPECT_FALSE(App().link_fault);
  ASSERT_EQ(device_.headers().size(), 1u);
  EXPECT_EQ(device_.headers()[0][hdr::kCommand], cmd::kReadMemory);
  EXPECT_EQ(device_.headers()[0].RangeStart(), 0x1230u);
  EXPECT_EQ(device_.headers()[0].RangeEnd(), 0x132Fu);
  ExpectPage(0x1230, device_.memory());
  EXPECT_EQ(window_.Statuses().front(), "调入代码......");

  SetAddress("FFFFF");
  EXPECT_EQ(App().view_address, 0xFFF00u);
  EXPECT_EQ(window_->ListCell(15, 0), "FFFF0");
  EXPECT_EQ(window_->Status(), std::string(kSection) + "FFF00~FFFFF");
  ExpectPage(0xFFF00, device_.memory());
}

TEST_F(CodeViewTest, AddressThatIsNoNumber) {
  SetAddress("00100");
  const auto cells = window_.Cells();
  const size_t sent = lines_.size();
  SetAddress("12G4");
  EXPECT_EQ(window_->Status(), "显示地址设置错误!");
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(App().view_address, 0x100u);
  EXPECT_EQ(window_.Text(ctl::kViewAddress), "12G4");
  EXPECT_EQ(window_.Cells(), cells);
  EXPECT_EQ(lines_.size(), sent);

  // A control character passes the check but parses as 0xFFFFFFFF: page 0.
  SetAddress("12\t4");
  EXPECT_EQ(App().view_address, 0u);
  EXPECT_EQ(window_.Text(ctl::kViewAddress), "00000");
}

TEST_F(CodeViewTest, PagesStepAndStopAtTheEnds) {
  SetAddress("00010");
  RefreshCodeView(OpViewPrevPage);
  EXPECT_EQ(App().view_address, 0u);
  RefreshCodeView(OpViewPrevPage);
  EXPECT_EQ(App().view_address, 0u);
  RefreshCodeView(OpViewNextPage);
  EXPECT_EQ(App().view_address, 0x100u);
  EXPECT_EQ(window_.Text(ctl::kViewAddress), "00100");
  SetAddress("FFE80");
  RefreshCodeView(OpViewNextPage);
  EXPECT_EQ(App().view_address, 0xFFF00u);
  RefreshCodeView(OpViewNextPage);
  EXPECT_EQ(App().view_address, 0xFFF00u);
  for (int code : {int{OpViewShow}, int{OpViewAscii}, int{OpViewMemory}, 99}) {
    RefreshCodeView(static_cast<uint8_t>(code));
    EXPECT_EQ(App().view_address, 0xFFF00u);
  }
}

TEST_F(CodeViewTest, AsciiCellsShowOnlyPrintableCharacters) {
  window_->SetChecked(ctl::kViewAscii, true);
  const uint8_t bytes[] = {0x20, 0x7F, 0xFF, 0x41, 0x21, 0x7E, 0x00};
  for (size_t i = 0; i < sizeof bytes; ++i) device_.memory()[0x200 + i] = bytes[i];
  SetAddress("200");
  const std::vector<std::string> shown = {"", "", "", "A", "!", "~", ""};
  for (size_t i = 0; i < shown.size(); ++i)
    EXPECT_EQ(window_->ListCell(0, static_cast<int>(i) + 1), shown[i]);
}

TEST_F(CodeViewTest, DebugModeShowsTheBufferButStillReadsTheChip) {
  // The debug box lies in the port group, which the code view hides: back
  // to the main panel, the box, and the view again.
  window_->Click(ctl::kBack);
  window_.Tick(ctl::kDebugMode, true);
  ShowCodeView(1);
  std::vector<uint8_t> buffer(App().code_buffer.begin(), App().code_buffer.end());
  for (uint32_t a = 0x300; a < 0x400; ++a)
    buffer[a] = App().code_buffer[a] = static_cast<uint8_t>(~a);
  SetAddress("300");
  EXPECT_TRUE(lines_.empty());
  ExpectPage(0x300, buffer);

  for (uint32_t a = 0x300; a < 0x400; ++a) device_.chip().memory[a] = static_cast<uint8_t>(a >> 1);
  SelectRadio(ctl::kViewChip);
  RefreshCodeView(OpViewChip);
  ASSERT_EQ(device_.headers().size(), 1u);
  EXPECT_EQ(device_.headers()[0][hdr::kCommand], cmd::kReadChip);
  ExpectPage(0x300, device_.chip().memory);
}

TEST_F(CodeViewTest, FailedReadStillShowsThePageInRed) {
  // The bytes arrived but their sum is wrong: they are shown, and the status
  // line says in red that they may not be the memory's.
  device_.faults().wrong_block_sum = true;
  SetAddress("400");
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->Status(), "读取数据错误");
  EXPECT_EQ(window_->GetText(ctl::kViewAddress, 16), "00400");
  ExpectPage(0x400, device_.memory());

  // Nothing arrived: the cells show erased bytes, not the page before.
  device_.faults().silent_after_header = kAnyCommand;
  RefreshCodeView(OpViewNextPage);
  EXPECT_TRUE(App().link_fault);
  EXPECT_EQ(window_->ListCell(0, 0), "00500");
  for (int row = 0; row < 16; ++row)
    for (int col = 1; col <= 16; ++col) EXPECT_EQ(window_->ListCell(row, col), "FF");
}

// Through the window: the first "显示内存数据" of a window just made shows
// page 0 of the programmer memory in hexadecimal.
TEST_F(CodeViewTest, FirstShowThroughTheWindow) {
  window_->ResetToCreatedState();
  App().port_chosen = true;
  window_->Click(ctl::kShowMemory);
  WaitForWorkers();
  EXPECT_TRUE(window_->IsChecked(ctl::kViewMemory));
  EXPECT_FALSE(window_->IsChecked(ctl::kViewChip));
  EXPECT_FALSE(window_->IsChecked(ctl::kViewAscii));
  EXPECT_TRUE(window_->ListPrepared());
  EXPECT_EQ(window_->Status(), std::string(kSection) + "00000~000FF");
  EXPECT_EQ(window_->ListCell(1, 0), "00010");
  EXPECT_EQ(window_->ListCell(1, 3), FormatHex(device_.memory()[0x12], 2));
  EXPECT_FALSE(window_->ViewLocked());
}

}  // namespace
}  // namespace zvp::test
