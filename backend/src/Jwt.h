// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json.hpp>

namespace orvane::backend {

// A JSON Web Token taken apart; nothing is verified yet.
struct DecodedJwt {
    nlohmann::json header;
    nlohmann::json claims;
    std::string signingInput;  // "header.payload" as received
    std::string signature;     // raw bytes

    static std::optional<DecodedJwt> decode(std::string_view token);
};

// An RSA key (public, or a private key with its public half).
class RsaKey {
public:
    ~RsaKey();
    RsaKey(RsaKey&&) noexcept;
    RsaKey& operator=(RsaKey&&) noexcept;

    // From a JWK's base64url "n" and "e".
    static std::optional<RsaKey> fromJwk(const nlohmann::json& jwk);
    static RsaKey generate(int bits = 2048);
    static std::optional<RsaKey> fromPrivatePem(std::string_view pem);
    std::string privatePem() const;

    // The public JWK with the given key id.
    nlohmann::json publicJwk(const std::string& keyId) const;
    bool verifySha256(std::string_view data, std::string_view signature) const;
    std::string signSha256(std::string_view data) const;

private:
    explicit RsaKey(void* key) : m_key(key) {}
    void* m_key = nullptr;  // EVP_PKEY
};

// RSA keys by key id, read from a JWKS document ({"keys":[...]}); non-RSA keys are skipped.
class KeySet {
public:
    static std::variant<KeySet, std::string> fromJson(std::string_view jwks);
    void add(const std::string& keyId, std::shared_ptr<const RsaKey> key);
    std::shared_ptr<const RsaKey> find(const std::string& keyId) const;
    bool empty() const { return m_keys.empty(); }

private:
    std::map<std::string, std::shared_ptr<const RsaKey>> m_keys;
};

namespace jwt {

std::string signHs256(const nlohmann::json& claims, std::string_view secret);
std::string signRs256(const nlohmann::json& claims, const RsaKey& key, const std::string& keyId);
// The claims when the token is HS256 with a valid signature; nothing otherwise.
std::optional<nlohmann::json> verifyHs256(std::string_view token, std::string_view secret);

}  // namespace jwt

}  // namespace orvane::backend
