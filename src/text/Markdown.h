// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::text {

// Cuts Markdown into top-level blocks that render the same on their own as in the whole: the cuts
// fall on blank lines outside fenced code, and never before a line that continues a list or an
// indented block. As an answer streams in, only its last two blocks can change (the next item
// of a list joins the list before it), so a view can redraw those alone. The pieces point into
// the text and leave out the blank lines between them.
std::vector<std::string_view> markdownBlocks(std::string_view markdown);

// The contents of the last fenced code block, without its fences; a block still streaming in
// (its closing fence not yet arrived) counts with what it holds so far.
std::optional<std::string> lastCodeBlock(std::string_view markdown);

}  // namespace orvane::text
