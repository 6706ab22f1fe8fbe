// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "TokenService.h"

#include "Crypto.h"
#include "JsonFields.h"
#include "Jwt.h"
#include "protocol/Base64.h"

namespace orvane::backend {

TokenService::TokenService(std::string secret, Database& database, Clock clock,
                           std::int64_t accessLifetime, std::int64_t refreshLifetime,
                           std::int64_t reuseGrace)
    : m_secret(std::move(secret)),
      m_database(database),
      m_clock(std::move(clock)),
      m_accessLifetime(accessLifetime),
      m_refreshLifetime(refreshLifetime),
      m_reuseGrace(reuseGrace) {}

std::string TokenService::accessToken(std::int64_t userId, std::int64_t issuedAt,
                                      const std::string& id, const std::string& family) const {
    const nlohmann::json claims = {{"iss", issuer},
                                   {"sub", std::to_string(userId)},
                                   {"typ", "access"},
                                   {"jti", id},
                                   {"fam", family},
                                   {"iat", issuedAt},
                                   {"exp", issuedAt + m_accessLifetime}};
    return jwt::signHs256(claims, m_secret);
}

TokenService::Tokens TokenService::issue(const User& user) {
    const auto now = m_clock();
    const auto family = hex(randomBytes(16));
    Tokens tokens{accessToken(user.id, now, base64::encodeUrl(randomBytes(12)), family),
                  base64::encodeUrl(randomBytes(32))};
    m_database.storeRefreshToken(hex(sha256(tokens.refreshToken)), user.id, family,
                                 now + m_refreshLifetime, now);
    return tokens;
}

std::variant<TokenService::Renewal, TokenService::Refusal> TokenService::renew(
    const std::string& refreshToken) {
    using Outcome = Database::Rotation::Outcome;
    // Only the server can derive a successor, and only from the token itself.
    const auto successor = base64::encodeUrl(hmacSha256(m_secret, "refresh:" + refreshToken));
    const auto rotation =
        m_database.rotateRefreshToken(hex(sha256(refreshToken)), hex(sha256(successor)), m_clock(),
                                      m_reuseGrace, m_refreshLifetime);
    switch (rotation.outcome) {
        case Outcome::rotated:
        case Outcome::replayed: {
            const auto id =
                base64::encodeUrl(hmacSha256(m_secret, "access:" + refreshToken).substr(0, 12));
            return Renewal{
                rotation.userId,
                {accessToken(rotation.userId, rotation.rotatedAt, id, rotation.family), successor}};
        }
        case Outcome::unknown:
            return Refusal("the refresh token is not known");
        case Outcome::expired:
            return Refusal("the refresh token has expired");
        case Outcome::reused:
            return Refusal("the refresh token was already used; sign in again");
        case Outcome::revoked:
            return Refusal("the refresh token has been revoked; sign in again");
    }
    return Refusal("the refresh token is not known");
}

std::optional<std::int64_t> TokenService::verifyAccessToken(const std::string& token) const {
    const auto claims = jwt::verifyHs256(token, m_secret);
    if (!claims) return std::nullopt;
    const auto exp = integerField(*claims, "exp");
    const auto subject = stringField(*claims, "sub");
    if (stringField(*claims, "iss") != issuer || stringField(*claims, "typ") != "access" || !exp ||
        *exp <= m_clock() || !subject) {
        return std::nullopt;
    }
    if (const auto family = stringField(*claims, "fam");
        family && m_database.isFamilyRevoked(*family)) {
        return std::nullopt;
    }
    try {
        return std::stoll(*subject);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace orvane::backend
