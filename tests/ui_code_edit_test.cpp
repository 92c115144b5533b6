// Changing one byte from the code view: what the dialog is asked, what a
// typed value becomes in the cell and the buffer, and when nothing happens.
#include <string>
#include <utility>
#include <vector>

#include "core/app_state.h"
#include "ui/control_ids.h"
#include "engine/code_view.h"
#include "engine/engine.h"
#include "link/operation_header.h"
#include "tests/support/link_fixture.h"
#include "ui/code_edit.h"
#include "ui/code_view_panel.h"
#include "ui/dispatcher.h"
#include "tests/support/header_from_window.h"

namespace zvp::test {
namespace {

class CodeEditTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    // The page at 0x00100 on screen, shown from the buffer in debug mode.
    window_.Tick(ctl::kDebugMode, true);
    ShowCodeView(1);
    SetupCodeView();
    for (uint32_t a = 0x100; a < 0x200; ++a) App().code_buffer[a] = static_cast<uint8_t>(a);
    window_->SetText(ctl::kViewAddress, "00100");
    RefreshCodeView(OpViewSetAddress);
    window_.ForgetStatuses();
  }
  // The debug box lies in the port group, which the code view hides: back
  // to the main panel, the box, and the view again.
  void DebugModeInTheView(bool on) {
    window_->Click(ctl::kBack);
    window_.Tick(ctl::kDebugMode, on);
    ShowCodeView(1);
  }
  // Double-clicks the cell and answers the dialog with `typed`.
  void Edit(int row, int column, std::optional<std::string> typed) {
    window_.AnswerEditDialog(std::move(typed));
    EditCodeByte(row, column);
  }
};

TEST_F(CodeEditTest, TypedValuesBecomeTwoDigits) {
  struct Case {
    const char* typed;
    const char* cell;
    uint8_t byte;
  };
  const Case cases[] = {{"5", "05", 0x05},
                        {"123", "23", 0x23},
                        {"", "00", 0x00},
                        {"ab", "AB", 0xAB},
                        {"\t", "0\t", 0xFF}};
  for (const Case& c : cases) {
    Edit(0, 6, c.typed);
    EXPECT_EQ(window_->ListCell(0, 6), c.cell) << c.typed;
    EXPECT_EQ(App().code_buffer[0x105], c.byte) << c.typed;
  }
  // The dialog was asked about the byte at 00105 with the cell's text.
  ASSERT_EQ(window_.EditRequests().size(), std::size(cases));
  EXPECT_EQ(window_.EditRequests()[0], (std::pair<std::string, std::string>{"00105", "05"}));
  EXPECT_EQ(window_.EditRequests()[1].second, "05");
  EXPECT_TRUE(window_->Messages().empty());
  // The neighbours, the programmer and the flags are untouched.
  EXPECT_EQ(App().code_buffer[0x104], 0x04);
  EXPECT_EQ(App().code_buffer[0x106], 0x06);
  EXPECT_TRUE(lines_.empty());
  EXPECT_FALSE(App().memory_edited);
}

TEST_F(CodeEditTest, LastCellOfTheLastPage) {
  window_->SetText(ctl::kViewAddress, "FFFFF");
  RefreshCodeView(OpViewSetAddress);
  Edit(15, 16, "3c");
  ASSERT_EQ(window_.EditRequests().size(), 1u);
  EXPECT_EQ(window_.EditRequests()[0].first, "FFFFF");
  EXPECT_EQ(App().code_buffer[0xFFFFF], 0x3C);
}

TEST_F(CodeEditTest, WhatChangesNothing) {
  const auto cells = window_.Cells();
  const auto buffer = App().code_buffer;

  Edit(2, 0, "11");  // the address column
  Edit(-1, 3, "11");
  Edit(2, -1, "11");
  EXPECT_TRUE(window_.EditRequests().empty());

  Edit(2, 3, std::nullopt);  // cancelled
  EXPECT_EQ(window_.EditRequests().size(), 1u);

  Edit(2, 3, "1G");  // only by pasting
  ASSERT_EQ(window_->Messages().size(), 1u);
  EXPECT_EQ(window_->Messages()[0].text, "代码输入错误!");
  EXPECT_EQ(window_->Messages()[0].caption, "ZVP");

  App().busy = true;
  Edit(2, 3, "11");
  App().busy = false;
  EXPECT_EQ(window_.EditRequests().size(), 2u);

  SelectRadio(ctl::kViewChip);
  Edit(2, 3, "11");
  SelectRadio(ctl::kViewMemory);
  window_->SetChecked(ctl::kViewAscii, true);
  Edit(2, 3, "11");
  ASSERT_EQ(window_->Messages().size(), 3u);
  EXPECT_EQ(window_->Messages()[1].text, "不能改变芯片代码数据!");
  EXPECT_EQ(window_->Messages()[2].text, "不能在ASCII码方式改变代码!");
  for (size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(window_->Messages()[i].caption, "错误操作");
    EXPECT_EQ(window_->Messages()[i].icon, MsgIcon::kWarning);
  }
  EXPECT_EQ(window_.EditRequests().size(), 2u);
  EXPECT_EQ(window_.Cells(), cells);
  EXPECT_EQ(App().code_buffer, buffer);
}

TEST_F(CodeEditTest, OutsideDebugModeTheProgrammerKeepsItsByte) {
  OpenQuietly();
  BuildHeaderFromWindow();  // as StartOperation does
  DebugModeInTheView(false);
  device_.memory()[0x1A7] = 0x99;
  RefreshCodeView(OpViewShow);
  EXPECT_EQ(window_->ListCell(10, 8), "99");
  Edit(10, 8, "42");
  EXPECT_EQ(window_->ListCell(10, 8), "42");
  EXPECT_EQ(App().code_buffer[0x1A7], 0x42);
  RefreshCodeView(OpViewShow);
  EXPECT_EQ(window_->ListCell(10, 8), "99");
  EXPECT_EQ(device_.memory()[0x1A7], 0x99);
}

}  // namespace
}  // namespace zvp::test
