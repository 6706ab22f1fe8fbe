// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
#include <string_view>

namespace orvane {
class Crypto;
}

// PKCE (RFC 7636, method S256), as the app makes it and an authorisation server checks it.
namespace orvane::pkce {

// 43 URL-safe characters from 32 random bytes.
std::string makeVerifier(Crypto& crypto);
// Base64url of the verifier's SHA-256.
std::string challengeFor(Crypto& crypto, std::string_view verifier);
// Random URL-safe text for a sign-in's state and nonce.
std::string makeToken(Crypto& crypto, std::size_t bytes = 16);

}  // namespace orvane::pkce
