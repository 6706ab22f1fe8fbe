// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::text {

// Trims white space and line breaks, Unicode's included (no-break space, line separator...),
// from both ends of UTF-8 text.
std::string_view trimWhitespaceAndNewlines(std::string_view text);

// Splits at the given byte, leaving out empty pieces.
std::vector<std::string_view> splitOmittingEmpty(std::string_view text, char separator);

// Number of Unicode characters (code points) in UTF-8 text.
std::size_t characterCount(std::string_view utf8);

bool contains(std::string_view text, std::string_view part);

// Whether the word is ordinary English, case aside: one of the general speech model's most likely
// words ("go", "rest", "linked").
bool isOrdinaryWord(std::string_view word);

// Whether most words of a line (at least three in five, case aside) are words of the other text:
// the microphone hearing the speakers' voice again, past what echo cancellation took out.
bool mostlyRepeats(std::string_view line, std::string_view other);

// The names an interview context (as the prep sheet writes it: "Company: …", "Role: …", notes)
// holds, for the recogniser to hear: the company and the role as written, then each word of the
// notes spelt with a capital, a digit or a sign inside it ("Postgres", "Kubernetes", "C++",
// "Next.js"), each once, in order. A word of ordinary English with only a capital to mark it
// ("Tell", "Built", "Nice") is no name, unless it is a word of the company or the role.
// A CV adds many: past the first maxInterviewTerms they would only slow the hearing down.
inline constexpr std::size_t maxInterviewTerms = 80;
std::vector<std::string> interviewTerms(std::string_view context);

}  // namespace orvane::text
