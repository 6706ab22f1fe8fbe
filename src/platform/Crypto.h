// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace orvane {

// Cryptographic primitives the sign-in flow needs. Callable from any thread.
class Crypto {
public:
    virtual ~Crypto() = default;
    // Bytes from the system's cryptographically secure generator.
    virtual std::vector<std::uint8_t> randomBytes(std::size_t count) = 0;
    virtual std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> data) = 0;
};

}  // namespace orvane
