// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// The backend's base64url and JWT decoding, which every sign-in and every question runs on text
// from anywhere. Besides crashes: decoding inverts encoding, and a token taken apart hands back
// exactly the signing input it was given.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Crypto.h"
#include "Jwt.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto bytes = orvane::base64::decodeUrlToString(text)) {
        const auto encoded = orvane::base64::encodeUrl(*bytes);
        if (orvane::base64::decodeUrlToString(encoded) != bytes) std::abort();
    }
    const auto encoded = orvane::base64::encodeUrl(text);
    if (orvane::base64::decodeUrlToString(encoded) != std::string(text)) std::abort();

    if (const auto token = orvane::backend::DecodedJwt::decode(text)) {
        if (!text.starts_with(token->signingInput)) std::abort();
        if (!token->header.is_object() || !token->claims.is_object()) std::abort();
    }
    return 0;
}
