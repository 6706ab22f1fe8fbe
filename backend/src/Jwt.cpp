// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "Jwt.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>

#include <stdexcept>

#include "Crypto.h"
#include "JsonFields.h"
#include "protocol/Base64.h"

namespace orvane::backend {

namespace {

EVP_PKEY* pkey(void* key) {
    return static_cast<EVP_PKEY*>(key);
}

std::string bignumBytes(const EVP_PKEY* key, const char* name) {
    BIGNUM* number = nullptr;
    EVP_PKEY_get_bn_param(key, name, &number);
    std::string bytes(static_cast<std::size_t>(BN_num_bytes(number)), '\0');
    BN_bn2bin(number, reinterpret_cast<unsigned char*>(bytes.data()));
    BN_free(number);
    return bytes;
}

std::string encodePart(const nlohmann::json& object) {
    return base64::encodeUrl(object.dump());
}

}  // namespace

std::optional<DecodedJwt> DecodedJwt::decode(std::string_view token) {
    const auto firstDot = token.find('.');
    if (firstDot == std::string_view::npos) return std::nullopt;
    const auto secondDot = token.find('.', firstDot + 1);
    if (secondDot == std::string_view::npos ||
        token.find('.', secondDot + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    const auto header = base64::decodeUrlCanonical(token.substr(0, firstDot));
    const auto claims =
        base64::decodeUrlCanonical(token.substr(firstDot + 1, secondDot - firstDot - 1));
    const auto signature = base64::decodeUrlCanonical(token.substr(secondDot + 1));
    if (!header || !claims || !signature) return std::nullopt;
    DecodedJwt decoded;
    decoded.header = nlohmann::json::parse(*header, nullptr, false);
    decoded.claims = nlohmann::json::parse(*claims, nullptr, false);
    if (!decoded.header.is_object() || !decoded.claims.is_object()) return std::nullopt;
    decoded.signingInput = std::string(token.substr(0, secondDot));
    decoded.signature = *signature;
    return decoded;
}

RsaKey::~RsaKey() {
    EVP_PKEY_free(pkey(m_key));
}
RsaKey::RsaKey(RsaKey&& other) noexcept : m_key(std::exchange(other.m_key, nullptr)) {}
RsaKey& RsaKey::operator=(RsaKey&& other) noexcept {
    std::swap(m_key, other.m_key);
    return *this;
}

std::optional<RsaKey> RsaKey::fromJwk(const nlohmann::json& jwk) {
    const auto kty = stringField(jwk, "kty");
    const auto nText = stringField(jwk, "n");
    const auto eText = stringField(jwk, "e");
    if (kty != "RSA" || !nText || !eText) return std::nullopt;
    const auto n = base64::decodeUrlToString(*nText);
    const auto e = base64::decodeUrlToString(*eText);
    if (!n || !e || n->empty() || e->empty()) return std::nullopt;
    BIGNUM* bn = BN_bin2bn(reinterpret_cast<const unsigned char*>(n->data()),
                           static_cast<int>(n->size()), nullptr);
    BIGNUM* be = BN_bin2bn(reinterpret_cast<const unsigned char*>(e->data()),
                           static_cast<int>(e->size()), nullptr);
    OSSL_PARAM_BLD* builder = OSSL_PARAM_BLD_new();
    OSSL_PARAM_BLD_push_BN(builder, OSSL_PKEY_PARAM_RSA_N, bn);
    OSSL_PARAM_BLD_push_BN(builder, OSSL_PKEY_PARAM_RSA_E, be);
    OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(builder);
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    EVP_PKEY* key = nullptr;
    const bool ok = EVP_PKEY_fromdata_init(context) == 1 &&
                    EVP_PKEY_fromdata(context, &key, EVP_PKEY_PUBLIC_KEY, params) == 1;
    EVP_PKEY_CTX_free(context);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(builder);
    BN_free(bn);
    BN_free(be);
    if (!ok) return std::nullopt;
    return RsaKey(key);
}

RsaKey RsaKey::generate(int bits) {
    EVP_PKEY* key = EVP_RSA_gen(static_cast<unsigned>(bits));
    if (!key) throw std::runtime_error("RSA key generation failed");
    return RsaKey(key);
}

std::optional<RsaKey> RsaKey::fromPrivatePem(std::string_view pem) {
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (!key) return std::nullopt;
    return RsaKey(key);
}

std::string RsaKey::privatePem() const {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, pkey(m_key), nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<std::size_t>(length));
    BIO_free(bio);
    return pem;
}

nlohmann::json RsaKey::publicJwk(const std::string& keyId) const {
    return {{"kty", "RSA"},
            {"use", "sig"},
            {"alg", "RS256"},
            {"kid", keyId},
            {"n", base64::encodeUrl(bignumBytes(pkey(m_key), OSSL_PKEY_PARAM_RSA_N))},
            {"e", base64::encodeUrl(bignumBytes(pkey(m_key), OSSL_PKEY_PARAM_RSA_E))}};
}

bool RsaKey::verifySha256(std::string_view data, std::string_view signature) const {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const bool ok =
        EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, pkey(m_key)) == 1 &&
        EVP_DigestVerify(context, reinterpret_cast<const unsigned char*>(signature.data()),
                         signature.size(), reinterpret_cast<const unsigned char*>(data.data()),
                         data.size()) == 1;
    EVP_MD_CTX_free(context);
    return ok;
}

std::string RsaKey::signSha256(std::string_view data) const {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    std::size_t length = 0;
    std::string signature;
    if (EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, pkey(m_key)) == 1 &&
        EVP_DigestSign(context, nullptr, &length,
                       reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1) {
        signature.resize(length);
        EVP_DigestSign(context, reinterpret_cast<unsigned char*>(signature.data()), &length,
                       reinterpret_cast<const unsigned char*>(data.data()), data.size());
        signature.resize(length);
    }
    EVP_MD_CTX_free(context);
    return signature;
}

std::variant<KeySet, std::string> KeySet::fromJson(std::string_view jwks) {
    const auto document = nlohmann::json::parse(jwks, nullptr, false);
    if (!document.is_object() || !document.contains("keys") || !document["keys"].is_array()) {
        return std::string("not a JWKS document (no \"keys\" array)");
    }
    KeySet set;
    for (const auto& jwk : document["keys"]) {
        auto key = RsaKey::fromJwk(jwk);
        const auto keyId = stringField(jwk, "kid");
        if (!key || !keyId) continue;
        set.add(*keyId, std::make_shared<const RsaKey>(std::move(*key)));
    }
    return set;
}

void KeySet::add(const std::string& keyId, std::shared_ptr<const RsaKey> key) {
    m_keys[keyId] = std::move(key);
}

std::shared_ptr<const RsaKey> KeySet::find(const std::string& keyId) const {
    const auto it = m_keys.find(keyId);
    return it == m_keys.end() ? nullptr : it->second;
}

namespace jwt {

std::string signHs256(const nlohmann::json& claims, std::string_view secret) {
    const auto input = encodePart({{"alg", "HS256"}, {"typ", "JWT"}}) + "." + encodePart(claims);
    return input + "." + base64::encodeUrl(hmacSha256(secret, input));
}

std::string signRs256(const nlohmann::json& claims, const RsaKey& key, const std::string& keyId) {
    const auto input =
        encodePart({{"alg", "RS256"}, {"kid", keyId}, {"typ", "JWT"}}) + "." + encodePart(claims);
    return input + "." + base64::encodeUrl(key.signSha256(input));
}

std::optional<nlohmann::json> verifyHs256(std::string_view token, std::string_view secret) {
    const auto decoded = DecodedJwt::decode(token);
    if (!decoded || stringField(decoded->header, "alg") != "HS256") return std::nullopt;
    if (!constantTimeEqual(hmacSha256(secret, decoded->signingInput), decoded->signature)) {
        return std::nullopt;
    }
    return decoded->claims;
}

}  // namespace jwt

}  // namespace orvane::backend
