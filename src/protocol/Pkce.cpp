// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "protocol/Pkce.h"

#include "protocol/Base64.h"
#include "protocol/Crypto.h"

namespace orvane::pkce {

std::string makeVerifier(Crypto& crypto) {
    return base64::encodeUrl(crypto.randomBytes(32));
}

std::string challengeFor(Crypto& crypto, std::string_view verifier) {
    return base64::encodeUrl(crypto.sha256(verifier));
}

std::string makeToken(Crypto& crypto, std::size_t bytes) {
    return base64::encodeUrl(crypto.randomBytes(bytes));
}

}  // namespace orvane::pkce
