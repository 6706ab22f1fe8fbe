// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include "protocol/Crypto.h"

namespace orvane {

// Crypto on OpenSSL's libcrypto: RAND_bytes and SHA-256.
class OpenSslCrypto : public Crypto {
public:
    using Crypto::sha256;
    std::vector<std::uint8_t> randomBytes(std::size_t count) override;
    std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> data) override;
};

}  // namespace orvane
