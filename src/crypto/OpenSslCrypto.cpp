// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "crypto/OpenSslCrypto.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <stdexcept>

namespace orvane {

std::vector<std::uint8_t> OpenSslCrypto::randomBytes(std::size_t count) {
    std::vector<std::uint8_t> bytes(count, 0);
    // A generator that cannot seed itself must not hand out predictable verifiers.
    if (count > 0 && RAND_bytes(bytes.data(), static_cast<int>(count)) != 1) {
        throw std::runtime_error("the system's random generator failed");
    }
    return bytes;
}

std::array<std::uint8_t, 32> OpenSslCrypto::sha256(std::span<const std::uint8_t> data) {
    std::array<std::uint8_t, 32> digest{};
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest.data(), &length, EVP_sha256(), nullptr);
    return digest;
}

}  // namespace orvane
