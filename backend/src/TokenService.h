// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "Database.h"

namespace orvane::backend {

// Issues and checks the backend's own tokens. Access tokens are short-lived HS256 JWTs signed with
// the server secret; refresh tokens are random and only their SHA-256 is stored.
class TokenService {
public:
    using Clock = std::function<std::int64_t()>;  // seconds since the epoch

    TokenService(std::string secret, Database& database, Clock clock,
                 std::int64_t accessLifetime = 15 * 60,
                 std::int64_t refreshLifetime = 60LL * 24 * 3600);

    struct Tokens {
        std::string accessToken;
        std::string refreshToken;
    };
    Tokens issue(const User& user);
    // The user id of a well-signed, unexpired access token.
    std::optional<std::int64_t> verifyAccessToken(const std::string& token) const;

    static constexpr const char* issuer = "orvane-backend";

private:
    std::string m_secret;
    Database& m_database;
    Clock m_clock;
    std::int64_t m_accessLifetime;
    std::int64_t m_refreshLifetime;
};

}  // namespace orvane::backend
