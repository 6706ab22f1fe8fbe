// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <string>

#include "text/Markdown.h"

namespace orvane {
namespace {

using Blocks = std::vector<std::string_view>;

TEST(MarkdownBlocks, BlankLinesOutsideCodeSeparateBlocks) {
    EXPECT_EQ(text::markdownBlocks("# Title\n\nFirst **bold** line\nsecond line\n\n\nLast"),
              (Blocks{"# Title", "First **bold** line\nsecond line", "Last"}));
    EXPECT_EQ(text::markdownBlocks(""), Blocks{});
    EXPECT_EQ(text::markdownBlocks("\n \n\t\n"), Blocks{});
    EXPECT_EQ(text::markdownBlocks("\n\nstreaming wo"), Blocks{"streaming wo"});
    EXPECT_EQ(text::markdownBlocks("one\r\n\r\ntwo\r\n"), (Blocks{"one\r", "two\r"}));
}

TEST(MarkdownBlocks, FencedCodeIsOneBlockBlankLinesAndAll) {
    const std::string answer =
        "Reverse it in place:\n\n```python\ndef reverse(head):\n\n    prev = None\n```\n\nDone.";
    EXPECT_EQ(text::markdownBlocks(answer),
              (Blocks{"Reverse it in place:",
                      "```python\ndef reverse(head):\n\n    prev = None\n```", "Done."}));
    // A longer fence is closed only by one as long; tildes are fences too.
    EXPECT_EQ(text::markdownBlocks("````\n```\n\nstill code\n````\n\n~~~\n\n~~~"),
              (Blocks{"````\n```\n\nstill code\n````", "~~~\n\n~~~"}));
    // Streaming: the fence has not closed yet, so all that follows is code.
    EXPECT_EQ(text::markdownBlocks("Text\n\n```\nx = 1\n\ny = 2"),
              (Blocks{"Text", "```\nx = 1\n\ny = 2"}));
    // Backticks in the info string make it inline code, not a fence.
    EXPECT_EQ(text::markdownBlocks("``` a ` b\n\nnext"), (Blocks{"``` a ` b", "next"}));
}

TEST(MarkdownBlocks, ListsAndIndentedLinesStayWithTheirBlock) {
    const std::string loose = "Steps:\n\n1. Measure\n\n2. Index\n   with care\n\n   more\n\nAfter";
    EXPECT_EQ(text::markdownBlocks(loose),
              (Blocks{"Steps:", "1. Measure\n\n2. Index\n   with care\n\n   more", "After"}));
    EXPECT_EQ(text::markdownBlocks("- a\n\n* b\n\n+ c\n\n3) d\n\n-not a list"),
              (Blocks{"- a\n\n* b\n\n+ c\n\n3) d", "-not a list"}));
    EXPECT_EQ(text::markdownBlocks("para\n\n    indented code\n\n2024. was a year"),
              (Blocks{"para\n\n    indented code", "2024. was a year"}))
        << "only a list goes on with a list item";
}

TEST(MarkdownBlocks, TheBlocksOfAGrowingTextOnlyEverChangeAtTheEnd) {
    const std::string answer =
        "## Two pointers\n\nWalk the list once:\n\n- keep `prev`\n\n- flip `next`\n\n```cpp\nNode* "
        "prev = nullptr;\n\nwhile (head) {\n  std::swap(head->next, prev);\n}\n```\n\nIt is "
        "O(n) time and O(1) space.\n";
    const auto whole = text::markdownBlocks(answer);
    for (std::size_t cut = 0; cut <= answer.size(); ++cut) {
        const auto partial = text::markdownBlocks(std::string_view(answer).substr(0, cut));
        ASSERT_LE(partial.size(), whole.size()) << cut;
        // Every block but the last two is final already.
        for (std::size_t i = 0; i + 2 < partial.size(); ++i) {
            ASSERT_EQ(partial[i], whole[i]) << "cut at " << cut;
        }
    }
}

TEST(LastCodeBlock, IsTheLastFencedBlockWithoutItsFences) {
    EXPECT_EQ(text::lastCodeBlock("no code, only `inline`"), std::nullopt);
    EXPECT_EQ(
        text::lastCodeBlock("```js\nfirst()\n```\n\ntext\n\n~~~python\nsecond()\n\nthird()\n~~~\n"),
        "second()\n\nthird()");
    EXPECT_EQ(text::lastCodeBlock("```\r\nwindows()\r\n```\r\n"), "windows()");
    EXPECT_EQ(text::lastCodeBlock("```\n```"), "");
    // While it streams in, the block so far; a fence just opened leaves the one before.
    EXPECT_EQ(text::lastCodeBlock("```\nalready()\n```\n\n```go\nfunc main() {"), "func main() {");
    EXPECT_EQ(text::lastCodeBlock("```\nalready()\n```\n\n```go\n"), "already()");
    EXPECT_EQ(text::lastCodeBlock("   ```\n   indented()\n   ```"), "   indented()");
}

}  // namespace
}  // namespace orvane
