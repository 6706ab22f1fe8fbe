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

// Standard alphabet, with padding, no line breaks.
std::string encode(std::span<const std::uint8_t> bytes);

// The URL-safe alphabet ("-" and "_"), padding optional, as JWTs use it. Nothing for text that
// is not that encoding.
std::optional<std::vector<std::uint8_t>> decodeUrl(std::string_view text);

}  // namespace orvane::base64
