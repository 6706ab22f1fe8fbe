// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace orvane {

// The cryptographic primitives both ends need: random bytes for verifiers, states, nonces and
// tokens, and SHA-256 for PKCE and for what is stored hashed. Callable from any thread. One real
// implementation serves the app and the backend (src/crypto).
class Crypto {
public:
    virtual ~Crypto() = default;
    // Bytes from the system's cryptographically secure generator.
    virtual std::vector<std::uint8_t> randomBytes(std::size_t count) = 0;
    virtual std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> data) = 0;

    std::array<std::uint8_t, 32> sha256(std::string_view text) {
        return sha256(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
};

}  // namespace orvane
