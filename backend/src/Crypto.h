// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
#include <string_view>

namespace orvane {
class Crypto;
}

namespace orvane::backend {

// The process's source of randomness and SHA-256: the same OpenSSL implementation as the app's.
Crypto& systemCrypto();

// Byte strings from systemCrypto(), for tokens and stored hashes.
std::string randomBytes(std::size_t count);
std::string sha256(std::string_view data);

std::string hmacSha256(std::string_view key, std::string_view data);
bool constantTimeEqual(std::string_view a, std::string_view b);
std::string hex(std::string_view bytes);

}  // namespace orvane::backend
