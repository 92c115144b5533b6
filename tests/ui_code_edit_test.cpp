// Changing one byte from the code view: what the dialog is asked, what a
// typed value becomes in the cell and the buffer, and when nothing happens.
#include <string>
#include <utility>
#include <vector>

#include "core/app_state.h"
#include "engine/engine.h"
#include "link/operation_header.h"
#include "tests/support/link_fixture.h"
#include "ui/code_edit.h"
#include "engine/code_view.h"
#include "core/control_ids.h"

namespace zvp::test {
namespace {

class CodeEditTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    // The page at 0x00100 on screen, shown from the buffer in debug mode.
    surface_.checked_[ctl::kDebugMode] = true;
    for (uint32_t a = 0x100; a < 0x200; ++a) App().code_buffer[a] = static_cast<uint8_t>(a);
    surface_.texts_[ctl::kViewAddress] = "00100";
    RefreshCodeView(OpViewSetAddress);
    surface_.statuses_.clear();
  }
  // Double-clicks the cell and answers the dialog with `typed`.
  void Edit(int row, int column, std::optional<std::string> typed) {
    surface_.edit_answer_ = std::move(typed);
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
    EXPECT_EQ(surface_.ListCell(0, 6), c.cell) << c.typed;
    EXPECT_EQ(App().code_buffer[0x105], c.byte) << c.typed;
  }
  // The dialog was asked about the byte at 00105 with the cell's text.
  ASSERT_EQ(surface_.edit_dialogs_.size(), std::size(cases));
  EXPECT_EQ(surface_.edit_dialogs_[0], (std::pair<std::string, std::string>{"00105", "05"}));
  EXPECT_EQ(surface_.edit_dialogs_[1].second, "05");
  EXPECT_TRUE(surface_.boxes_.empty());
  // The neighbours, the programmer and the flags are untouched.
  EXPECT_EQ(App().code_buffer[0x104], 0x04);
  EXPECT_EQ(App().code_buffer[0x106], 0x06);
  EXPECT_TRUE(lines_.empty());
  EXPECT_FALSE(App().memory_edited);
}

TEST_F(CodeEditTest, LastCellOfTheLastPage) {
  surface_.texts_[ctl::kViewAddress] = "FFFFF";
  RefreshCodeView(OpViewSetAddress);
  Edit(15, 16, "3c");
  ASSERT_EQ(surface_.edit_dialogs_.size(), 1u);
  EXPECT_EQ(surface_.edit_dialogs_[0].first, "FFFFF");
  EXPECT_EQ(App().code_buffer[0xFFFFF], 0x3C);
}

TEST_F(CodeEditTest, WhatChangesNothing) {
  const auto cells = surface_.cells_;
  const auto buffer = App().code_buffer;

  Edit(2, 0, "11");  // the address column
  Edit(-1, 3, "11");
  Edit(2, -1, "11");
  EXPECT_TRUE(surface_.edit_dialogs_.empty());

  Edit(2, 3, std::nullopt);  // cancelled
  EXPECT_EQ(surface_.edit_dialogs_.size(), 1u);

  Edit(2, 3, "1G");  // only by pasting
  ASSERT_EQ(surface_.boxes_.size(), 1u);
  EXPECT_EQ(surface_.boxes_[0].text, "代码输入错误!");
  EXPECT_EQ(surface_.boxes_[0].caption, "ZVP");

  App().busy = true;
  Edit(2, 3, "11");
  App().busy = false;
  EXPECT_EQ(surface_.edit_dialogs_.size(), 2u);

  surface_.checked_[ctl::kViewChip] = true;
  Edit(2, 3, "11");
  surface_.checked_[ctl::kViewChip] = false;
  surface_.checked_[ctl::kViewAscii] = true;
  Edit(2, 3, "11");
  ASSERT_EQ(surface_.boxes_.size(), 3u);
  EXPECT_EQ(surface_.boxes_[1].text, "不能改变芯片代码数据!");
  EXPECT_EQ(surface_.boxes_[2].text, "不能在ASCII码方式改变代码!");
  for (size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(surface_.boxes_[i].caption, "错误操作");
    EXPECT_EQ(surface_.boxes_[i].icon, MsgIcon::kWarning);
  }
  EXPECT_EQ(surface_.edit_dialogs_.size(), 2u);
  EXPECT_EQ(surface_.cells_, cells);
  EXPECT_EQ(App().code_buffer, buffer);
}

TEST_F(CodeEditTest, OutsideDebugModeTheProgrammerKeepsItsByte) {
  OpenQuietly();
  BuildOperationHeader();  // as StartOperation does
  surface_.checked_[ctl::kDebugMode] = false;
  device_.memory()[0x1A7] = 0x99;
  RefreshCodeView(OpViewShow);
  EXPECT_EQ(surface_.ListCell(10, 8), "99");
  Edit(10, 8, "42");
  EXPECT_EQ(surface_.ListCell(10, 8), "42");
  EXPECT_EQ(App().code_buffer[0x1A7], 0x42);
  RefreshCodeView(OpViewShow);
  EXPECT_EQ(surface_.ListCell(10, 8), "99");
  EXPECT_EQ(device_.memory()[0x1A7], 0x99);
}

}  // namespace
}  // namespace zvp::test
