// The one table of operations, as the command line's usage reads it.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/operation_table.h"

namespace zvp::test {
namespace {

// The usage's commands come from the table: every word, with what it
// takes, between the command line's own, in lines a terminal does not wrap.
TEST(OperationTable, TheUsageListsEveryWordWithinEightyColumns) {
  const std::string text = CommandListLines("connect", "state");
  ASSERT_FALSE(text.empty());
  ASSERT_EQ(text.back(), '\n');
  std::vector<std::string> items;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at);
    EXPECT_LE(line.size(), 80u) << line;
    EXPECT_EQ(line.rfind("  ", 0), 0u) << line;
    at = end + 1;
  }
  const std::string flat = " " + text;
  size_t words = 0;
  for (const OperationEntry& e : Operations()) {
    if (e.word == nullptr) continue;
    ++words;
    std::string item = std::string(" ") + e.word;
    if (e.argument != nullptr) item += std::string(" ") + e.argument;
    const size_t found = flat.find(item + " ");
    const size_t found_end = flat.find(item + "\n");
    EXPECT_TRUE(found != std::string::npos || found_end != std::string::npos) << e.word;
  }
  EXPECT_EQ(words, 15u);
  EXPECT_EQ(text.rfind("  connect ", 0), 0u);
  EXPECT_EQ(text.substr(text.size() - 7), " state\n");
}

}  // namespace
}  // namespace zvp::test
