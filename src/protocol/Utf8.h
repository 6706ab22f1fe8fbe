// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
#include <string_view>

namespace orvane::utf8 {

bool isValid(std::string_view bytes);

// The bytes as valid UTF-8: every ill-formed sequence becomes U+FFFD, as decoders on the web do
// (maximal subparts, so one bad byte costs one replacement character).
std::string sanitized(std::string_view bytes);

// At most `bytes` bytes of the text, never ending inside a character.
std::string_view cut(std::string_view text, std::size_t bytes);

// Appends the UTF-8 encoding of a Unicode scalar value (not a surrogate, at most U+10FFFF).
void append(std::string& out, char32_t scalar);

}  // namespace orvane::utf8
