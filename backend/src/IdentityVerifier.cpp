// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "IdentityVerifier.h"

#include <httplib.h>

#include <ctime>
#include <fstream>
#include <iterator>

#include "JsonFields.h"

namespace orvane::backend {

namespace {

constexpr std::int64_t kClockSkew = 60;
constexpr std::int64_t kRefetchInterval = 60;

bool audienceMatches(const nlohmann::json& claims, const std::string& audience) {
    const auto it = claims.find("aud");
    if (it == claims.end()) return false;
    if (it->is_string()) return *it == audience;
    if (it->is_array()) {
        for (const auto& entry : *it) {
            if (entry.is_string() && entry == audience) return true;
        }
    }
    return false;
}

std::string firstWord(const std::string& text) {
    const auto start = text.find_first_not_of(' ');
    if (start == std::string::npos) return "";
    return text.substr(start, text.find(' ', start) - start);
}

}  // namespace

std::shared_ptr<const RsaKey> StaticKeySource::key(const std::string& keyId) {
    return m_keys.find(keyId);
}

std::shared_ptr<const RsaKey> RemoteKeySource::key(const std::string& keyId) {
    std::lock_guard lock(m_mutex);
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    const auto lookup = [&]() { return m_keys ? m_keys->find(keyId) : nullptr; };
    if (auto found = lookup()) return found;
    // Every token naming an unknown key would otherwise cost a fetch, and a failing fetch holds
    // this lock for its whole timeout: tokens are cheap to forge, workers are not.
    if (m_fetchedAt != 0 && now - m_fetchedAt < kRefetchInterval) return nullptr;

    const auto schemeEnd = m_url.find("://");
    const auto pathStart = m_url.find('/', schemeEnd + 3);
    httplib::Client client(m_url.substr(0, pathStart));
    client.set_connection_timeout(10);
    client.set_read_timeout(10);
    client.enable_server_certificate_verification(true);
    const auto reply = client.Get(pathStart == std::string::npos ? "/" : m_url.substr(pathStart));
    m_fetchedAt = now;
    if (reply && reply->status == 200) {
        auto parsed = KeySet::fromJson(reply->body);
        if (auto* keys = std::get_if<KeySet>(&parsed)) {
            m_keys = std::make_shared<KeySet>(std::move(*keys));
        }
    }
    return lookup();
}

std::variant<std::shared_ptr<KeySource>, std::string> keySourceFor(const std::string& location) {
    if (location.starts_with("https://")) return std::make_shared<RemoteKeySource>(location);
    std::ifstream file(location);
    if (!file) return "cannot read JWKS file " + location;
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    auto parsed = KeySet::fromJson(text);
    if (auto* error = std::get_if<std::string>(&parsed)) return location + ": " + *error;
    return std::make_shared<StaticKeySource>(std::move(std::get<KeySet>(parsed)));
}

std::variant<Identity, std::string> verifyIdToken(const std::string& token,
                                                  const std::vector<TrustedIssuer>& trusted,
                                                  std::int64_t now) {
    const auto decoded = DecodedJwt::decode(token);
    if (!decoded) return std::string("the token is not a well-formed JWT");
    if (stringField(decoded->header, "alg") != "RS256") {
        return std::string("the token must be signed with RS256");
    }
    const auto issuer = stringField(decoded->claims, "iss");
    const TrustedIssuer* provider = nullptr;
    for (const auto& candidate : trusted) {
        if (issuer && candidate.issuers.contains(*issuer)) provider = &candidate;
    }
    if (!provider) return std::string("the token's issuer is not trusted");
    const auto keyId = stringField(decoded->header, "kid").value_or("");
    const auto key = provider->keys ? provider->keys->key(keyId) : nullptr;
    if (!key) return std::string("the token's signing key is unknown");
    if (!key->verifySha256(decoded->signingInput, decoded->signature)) {
        return std::string("the token's signature is invalid");
    }
    if (!audienceMatches(decoded->claims, provider->audience)) {
        return std::string("the token was issued for another application");
    }
    const auto expiry = integerField(decoded->claims, "exp");
    if (!expiry || *expiry + kClockSkew <= now) return std::string("the token has expired");
    const auto issuedAt = integerField(decoded->claims, "iat");
    if (issuedAt && *issuedAt > now + kClockSkew) {
        return std::string("the token was issued in the future");
    }
    const auto subject = stringField(decoded->claims, "sub");
    if (!subject || subject->empty()) return std::string("the token names no user");

    Identity identity;
    identity.issuer = *issuer;
    identity.subject = *subject;
    identity.email = stringField(decoded->claims, "email").value_or("");
    identity.expiresAt = *expiry + kClockSkew;
    identity.firstName =
        stringField(decoded->claims, "given_name")
            .value_or(firstWord(stringField(decoded->claims, "name").value_or("")));
    return identity;
}

}  // namespace orvane::backend
