// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "Crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "crypto/OpenSslCrypto.h"

namespace orvane::backend {

Crypto& systemCrypto() {
    static OpenSslCrypto crypto;
    return crypto;
}

std::string randomBytes(std::size_t count) {
    const auto bytes = systemCrypto().randomBytes(count);
    return std::string(bytes.begin(), bytes.end());
}

std::string sha256(std::string_view data) {
    const auto digest = systemCrypto().sha256(data);
    return std::string(digest.begin(), digest.end());
}

std::string hmacSha256(std::string_view key, std::string_view data) {
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(data.data()), data.size(), mac, &length);
    return std::string(reinterpret_cast<char*>(mac), length);
}

bool constantTimeEqual(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

}  // namespace orvane::backend
