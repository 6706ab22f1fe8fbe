// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "Database.h"

namespace orvane::backend {

// Issues and checks the backend's own tokens. Access tokens are short-lived HS256 JWTs signed with
// the server secret; refresh tokens are random, only their SHA-256 is stored, and each is good for
// one refresh, which hands out a new one of the same family.
class TokenService {
public:
    using Clock = std::function<std::int64_t()>;  // seconds since the epoch

    static constexpr std::int64_t defaultAccessLifetime = 15 * 60;
    static constexpr std::int64_t defaultRefreshLifetime = 30LL * 24 * 3600;
    static constexpr std::int64_t defaultReuseGrace = 30;

    TokenService(std::string secret, Database& database, Clock clock,
                 std::int64_t accessLifetime = defaultAccessLifetime,
                 std::int64_t refreshLifetime = defaultRefreshLifetime,
                 std::int64_t reuseGrace = defaultReuseGrace);

    struct Tokens {
        std::string accessToken;
        std::string refreshToken;
    };
    // The tokens of a new sign-in.
    Tokens issue(const User& user);

    struct Renewal {
        std::int64_t userId = 0;
        Tokens tokens;
    };
    // Why a refresh token was refused, as a sentence for the reply's details.
    using Refusal = std::string;
    // Trades a refresh token for new tokens of its family. The new pair is derived from the old
    // token and the moment it was used up, so a renewal repeated within the reuse grace (its
    // reply was lost, or two went out at once) gets the very same pair. Whether the account may
    // still sign in is the caller's to check.
    std::variant<Renewal, Refusal> renew(const std::string& refreshToken);

    // The user id of a well-signed, unexpired access token.
    std::optional<std::int64_t> verifyAccessToken(const std::string& token) const;

    static constexpr const char* issuer = "orvane-backend";

private:
    std::string accessToken(std::int64_t userId, std::int64_t issuedAt, const std::string& id,
                            const std::string& family) const;

    std::string m_secret;
    Database& m_database;
    Clock m_clock;
    std::int64_t m_accessLifetime;
    std::int64_t m_refreshLifetime;
    std::int64_t m_reuseGrace;
};

}  // namespace orvane::backend
