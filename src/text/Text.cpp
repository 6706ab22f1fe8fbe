// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "text/Text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <set>
#include <unordered_set>

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

std::string lowerCased(std::string_view word) {
    std::string lower(word);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// A capital at the start and nothing else to mark it: "Tell", "Built", "Nice" as much as "Datadog".
bool onlyItsFirstLetterMarksIt(std::string_view word) {
    return std::all_of(word.begin() + 1, word.end(),
                       [](unsigned char c) { return std::islower(c) || c == '\'' || c == '-'; });
}

std::vector<std::string> lowerCasedWords(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    for (char c : line) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

}  // namespace

// The general speech model's most likely words, lower-case.
bool isOrdinaryWord(std::string_view word) {
    static const std::unordered_set<std::string_view> ordinary = {
#include "common_words.inc"
    };
    return ordinary.count(lowerCased(word)) > 0;
}

bool mostlyRepeats(std::string_view line, std::string_view other) {
    const auto words = lowerCasedWords(line);
    if (words.empty()) return false;
    const auto heard = lowerCasedWords(other);
    const std::set<std::string> known(heard.begin(), heard.end());
    const auto repeated = std::count_if(words.begin(), words.end(),
                                        [&](const std::string& word) { return known.count(word); });
    return repeated * 5 >= static_cast<std::ptrdiff_t>(words.size()) * 3;
}

std::vector<std::string> interviewTerms(std::string_view context) {
    std::vector<std::string> terms;
    const auto add = [&terms](std::string_view term) {
        term = trimWhitespaceAndNewlines(term);
        if (term.empty() || terms.size() == maxInterviewTerms ||
            std::find(terms.begin(), terms.end(), term) != terms.end()) {
            return;
        }
        terms.emplace_back(term);
    };
    const auto lines = splitOmittingEmpty(context, '\n');
    std::set<std::string> named;  // the words of the company and the role
    for (auto line : lines) {
        line = trimWhitespaceAndNewlines(line);
        if (line.starts_with("Additional context:") || line.starts_with("CV:") ||
            line.starts_with("Job description:")) {
            break;
        }
        if (line.rfind("Company:", 0) == 0 || line.rfind("Role:", 0) == 0) {
            for (auto& word : lowerCasedWords(line.substr(line.find(':') + 1)))
                named.insert(std::move(word));
        }
    }
    bool inNotes = false;
    for (auto line : lines) {
        line = trimWhitespaceAndNewlines(line);
        if (!inNotes && line.rfind("Company:", 0) == 0) {
            add(line.substr(8));
            continue;
        }
        if (!inNotes && line.rfind("Role:", 0) == 0) {
            add(line.substr(5));
            continue;
        }
        // The sheet's own headings are no names.
        for (const std::string_view heading : {"Additional context:", "CV:", "Job description:"}) {
            if (line.starts_with(heading)) {
                inNotes = true;
                line = line.substr(heading.size());
            }
        }
        std::string word;
        const auto flush = [&] {
            while (!word.empty() && (word.back() == '.' || word.back() == '\'')) word.pop_back();
            if (looksLikeAName(word) && !(onlyItsFirstLetterMarksIt(word) && isOrdinaryWord(word) &&
                                          named.count(lowerCased(word)) == 0)) {
                add(word);
            }
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
