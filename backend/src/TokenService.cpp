// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "TokenService.h"

#include "Crypto.h"
#include "JsonFields.h"
#include "Jwt.h"
#include "protocol/Base64.h"

namespace orvane::backend {

TokenService::TokenService(std::string secret, Database& database, Clock clock,
                           std::int64_t accessLifetime, std::int64_t refreshLifetime)
    : m_secret(std::move(secret)),
      m_database(database),
      m_clock(std::move(clock)),
      m_accessLifetime(accessLifetime),
      m_refreshLifetime(refreshLifetime) {}

TokenService::Tokens TokenService::issue(const User& user) {
    return issueInFamily(user.id, hex(randomBytes(16)));
}

TokenService::Tokens TokenService::issueInFamily(std::int64_t userId, const std::string& family) {
    const auto now = m_clock();
    const nlohmann::json claims = {{"iss", issuer},   {"sub", std::to_string(userId)},
                                   {"typ", "access"}, {"jti", base64::encodeUrl(randomBytes(12))},
                                   {"iat", now},      {"exp", now + m_accessLifetime}};
    Tokens tokens;
    tokens.accessToken = jwt::signHs256(claims, m_secret);
    tokens.refreshToken = base64::encodeUrl(randomBytes(32));
    m_database.storeRefreshToken(hex(sha256(tokens.refreshToken)), userId, family,
                                 now + m_refreshLifetime, now);
    return tokens;
}

TokenService::Tokens TokenService::issue(const Grant& grant) {
    return issueInFamily(grant.userId, grant.family);
}

std::variant<TokenService::Grant, TokenService::Refusal> TokenService::redeem(
    const std::string& refreshToken) {
    using Outcome = Database::RefreshClaim::Outcome;
    const auto claim = m_database.claimRefreshToken(hex(sha256(refreshToken)), m_clock());
    switch (claim.outcome) {
        case Outcome::accepted:
            return Grant{claim.userId, claim.family};
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
    try {
        return std::stoll(*subject);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace orvane::backend
