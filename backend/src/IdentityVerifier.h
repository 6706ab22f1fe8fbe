// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "Jwt.h"

namespace orvane::backend {

// Where an identity provider's signing keys come from: a JWKS file or URL read when needed, or a
// key held in memory (the development identity provider's).
class KeySource {
public:
    virtual ~KeySource() = default;
    // The key with this id; sources that can refresh do so when it is unknown.
    virtual std::shared_ptr<const RsaKey> key(const std::string& keyId) = 0;
};

class StaticKeySource : public KeySource {
public:
    explicit StaticKeySource(KeySet keys) : m_keys(std::move(keys)) {}
    std::shared_ptr<const RsaKey> key(const std::string& keyId) override;

private:
    KeySet m_keys;
};

// A JWKS fetched over HTTPS (Google's and Apple's published keys), refetched when a token names a
// key it does not have yet, at most once a minute whether or not the last fetch succeeded.
class RemoteKeySource : public KeySource {
public:
    explicit RemoteKeySource(std::string url) : m_url(std::move(url)) {}
    std::shared_ptr<const RsaKey> key(const std::string& keyId) override;

private:
    std::string m_url;
    std::mutex m_mutex;
    std::shared_ptr<KeySet> m_keys;
    std::int64_t m_fetchedAt = 0;
};

// A file path or an https URL of a JWKS document.
std::variant<std::shared_ptr<KeySource>, std::string> keySourceFor(const std::string& location);

// One identity provider the backend accepts ID tokens from.
struct TrustedIssuer {
    std::set<std::string> issuers;  // accepted "iss" values
    std::string audience;           // our client ID, required in "aud"
    std::shared_ptr<KeySource> keys;
};

struct Identity {
    std::string issuer;
    std::string subject;
    std::string email;
    std::string firstName;
    std::int64_t expiresAt = 0;
};

// Checks an RS256 ID token: signature against the issuer's keys, issuer, audience, expiry.
// Returns the identity, or a short reason for refusing it.
std::variant<Identity, std::string> verifyIdToken(const std::string& token,
                                                  const std::vector<TrustedIssuer>& trusted,
                                                  std::int64_t now);

}  // namespace orvane::backend
