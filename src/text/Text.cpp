// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "text/Text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <set>

namespace orvane::text {

namespace {

// The white space and line breaks of Unicode, encoded as UTF-8.
constexpr std::array<std::string_view, 19> kWideSpaces = {
    "\u0085", "\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003",
    "\u2004", "\u2005", "\u2006", "\u2007", "\u2008", "\u2009", "\u200A",
    "\u2028", "\u2029", "\u202F", "\u205F", "\u3000"};

bool isAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::size_t leadingSpaceLength(std::string_view text) {
    if (text.empty()) return 0;
    if (isAsciiSpace(text.front())) return 1;
    for (auto space : kWideSpaces) {
        if (text.starts_with(space)) return space.size();
    }
    return 0;
}

std::size_t trailingSpaceLength(std::string_view text) {
    if (text.empty()) return 0;
    if (isAsciiSpace(text.back())) return 1;
    for (auto space : kWideSpaces) {
        if (text.ends_with(space)) return space.size();
    }
    return 0;
}

}  // namespace

std::string_view trimWhitespaceAndNewlines(std::string_view text) {
    while (auto n = leadingSpaceLength(text)) text.remove_prefix(n);
    while (auto n = trailingSpaceLength(text)) text.remove_suffix(n);
    return text;
}

std::vector<std::string_view> splitOmittingEmpty(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find(separator, start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

std::size_t characterCount(std::string_view utf8) {
    std::size_t count = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) != 0x80) ++count;
    }
    return count;
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

namespace {

bool looksLikeAName(std::string_view word) {
    if (word.size() < 2) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const auto c = static_cast<unsigned char>(word[i]);
        if (std::isupper(c) || std::isdigit(c)) return true;
        if (i > 0 && (c == '+' || c == '#' || c == '.')) return i + 1 < word.size() || c != '.';
    }
    return false;
}

// Sentence words that take a capital only for where they stand.
bool isCommonWord(std::string_view word) {
    static const std::set<std::string, std::less<>> common = {
        "The", "A",  "An",  "And", "But", "Or",   "We",   "They", "It",    "This", "That",
        "In",  "On", "At",  "For", "To",  "With", "My",   "Our",  "Their", "He",   "She",
        "Is",  "Be", "Are", "Of",  "As",  "If",   "Also", "Then", "There", "You",  "Your"};
    return common.count(word) > 0;
}

}  // namespace

std::vector<std::string> interviewTerms(std::string_view context) {
    std::vector<std::string> terms;
    const auto add = [&terms](std::string_view term) {
        term = trimWhitespaceAndNewlines(term);
        if (term.empty() || std::find(terms.begin(), terms.end(), term) != terms.end()) return;
        terms.emplace_back(term);
    };
    bool inNotes = false;
    for (auto line : splitOmittingEmpty(context, '\n')) {
        line = trimWhitespaceAndNewlines(line);
        if (!inNotes && line.rfind("Company:", 0) == 0) {
            add(line.substr(8));
            continue;
        }
        if (!inNotes && line.rfind("Role:", 0) == 0) {
            add(line.substr(5));
            continue;
        }
        if (line.rfind("Additional context:", 0) == 0) {
            inNotes = true;
            line = line.substr(19);
        }
        std::string word;
        const auto flush = [&] {
            while (!word.empty() && (word.back() == '.' || word.back() == '\'')) word.pop_back();
            if (looksLikeAName(word) && !isCommonWord(word)) add(word);
            word.clear();
        };
        for (char c : line) {
            if (std::isspace(static_cast<unsigned char>(c)) || c == ',' || c == ';' || c == ':' ||
                c == '(' || c == ')' || c == '/' || c == '"' || c == '!' || c == '?') {
                flush();
            } else {
                word += c;
            }
        }
        flush();
    }
    return terms;
}

}  // namespace orvane::text
