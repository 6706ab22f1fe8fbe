// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "text/Markdown.h"

#include <cctype>

namespace orvane::text {

namespace {

struct Fence {
    char marker = 0;
    std::size_t length = 0;
};

bool isBlank(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

// A fence is three or more backticks or tildes after at most three spaces of indent.
std::optional<Fence> fenceOf(std::string_view line) {
    std::size_t indent = 0;
    while (indent < line.size() && indent < 4 && line[indent] == ' ') ++indent;
    if (indent > 3 || indent >= line.size()) return std::nullopt;
    const char marker = line[indent];
    if (marker != '`' && marker != '~') return std::nullopt;
    std::size_t length = 0;
    while (indent + length < line.size() && line[indent + length] == marker) ++length;
    if (length < 3) return std::nullopt;
    const auto rest = line.substr(indent + length);
    // An info string may not hold a backtick, or the line is inline code, not a fence.
    if (marker == '`' && rest.find('`') != std::string_view::npos) return std::nullopt;
    return Fence{marker, length};
}

bool closes(const Fence& open, std::string_view line) {
    const auto fence = fenceOf(line);
    if (!fence || fence->marker != open.marker || fence->length < open.length) return false;
    std::size_t start = line.find(open.marker);
    while (start < line.size() && line[start] == open.marker) ++start;
    return isBlank(line.substr(start));
}

bool startsListItem(std::string_view line) {
    const auto start = line.find_first_not_of(' ');
    if (start == std::string_view::npos || start > 3) return false;
    const auto rest = line.substr(start);
    if (rest.size() >= 2 && (rest[0] == '-' || rest[0] == '*' || rest[0] == '+') &&
        (rest[1] == ' ' || rest[1] == '\t')) {
        return true;
    }
    std::size_t digits = 0;
    while (digits < rest.size() && digits < 10 &&
           std::isdigit(static_cast<unsigned char>(rest[digits]))) {
        ++digits;
    }
    return digits > 0 && digits + 1 < rest.size() && (rest[digits] == '.' || rest[digits] == ')') &&
           (rest[digits + 1] == ' ' || rest[digits + 1] == '\t');
}

// After a blank line, indented lines still belong to the block before, and so do the next
// items of a list.
bool continuesBlock(std::string_view line, bool inList) {
    return line.starts_with(' ') || line.starts_with('\t') || (inList && startsListItem(line));
}

// Calls visit(line, lineStart) for each line, its end of line left out.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        visit(text.substr(start, end - start), start);
        start = end + 1;
    }
}

}  // namespace

std::vector<std::string_view> markdownBlocks(std::string_view markdown) {
    std::vector<std::string_view> blocks;
    std::optional<Fence> openFence;
    std::optional<std::size_t> blockStart;
    std::size_t blockEnd = 0;  // just past the last non-blank line of the open block
    bool blankSinceLast = false;
    bool inList = false;
    forEachLine(markdown, [&](std::string_view line, std::size_t at) {
        const auto lineEnd = at + line.size();
        if (openFence) {
            if (closes(*openFence, line)) openFence.reset();
            blockEnd = lineEnd;
            return;
        }
        if (isBlank(line)) {
            blankSinceLast = blockStart.has_value();
            return;
        }
        if (blockStart && blankSinceLast && !continuesBlock(line, inList)) {
            blocks.push_back(markdown.substr(*blockStart, blockEnd - *blockStart));
            blockStart.reset();
        }
        if (!blockStart) {
            blockStart = at;
            inList = startsListItem(line);
        }
        blankSinceLast = false;
        openFence = fenceOf(line);
        blockEnd = lineEnd;
    });
    if (blockStart) blocks.push_back(markdown.substr(*blockStart, blockEnd - *blockStart));
    return blocks;
}

std::optional<std::string> lastCodeBlock(std::string_view markdown) {
    std::optional<std::string> last;
    std::optional<Fence> openFence;
    std::string code;
    forEachLine(markdown, [&](std::string_view line, std::size_t) {
        if (!openFence) {
            openFence = fenceOf(line);
            code.clear();
            return;
        }
        if (closes(*openFence, line)) {
            openFence.reset();
            last = code;
            return;
        }
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        code.append(line).append("\n");
    });
    if (openFence && !code.empty()) last = code;
    if (last && !last->empty() && last->back() == '\n') last->pop_back();
    return last;
}

}  // namespace orvane::text
