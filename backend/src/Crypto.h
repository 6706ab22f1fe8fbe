// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane::backend {

// Random bytes from the operating system's generator.
std::string randomBytes(std::size_t count);
std::string sha256(std::string_view data);
std::string hmacSha256(std::string_view key, std::string_view data);
bool constantTimeEqual(std::string_view a, std::string_view b);

// Base64url without padding, as JWTs and PKCE use it.
std::string base64UrlEncode(std::string_view bytes);
std::optional<std::string> base64UrlDecode(std::string_view text);
std::string hex(std::string_view bytes);

}  // namespace orvane::backend
