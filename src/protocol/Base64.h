// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::base64 {

// Standard alphabet, with padding, no line breaks: screenshots in chat requests.
std::string encode(std::span<const std::uint8_t> bytes);
std::string encode(std::string_view bytes);

// The URL-safe alphabet ("-" and "_") without padding, as PKCE and JWTs use it.
std::string encodeUrl(std::span<const std::uint8_t> bytes);
std::string encodeUrl(std::string_view bytes);

// The URL-safe alphabet, padding optional. Nothing for text that is not that encoding.
std::optional<std::vector<std::uint8_t>> decodeUrl(std::string_view text);
std::optional<std::string> decodeUrlToString(std::string_view text);
// Only the one spelling encodeUrl writes: no padding, and the bits past the last byte zero. Two
// spellings of the same bytes would otherwise be two different tokens.
std::optional<std::string> decodeUrlCanonical(std::string_view text);

}  // namespace orvane::base64
