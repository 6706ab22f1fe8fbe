// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
#include <vector>

#include "Database.h"
#include "IdentityVerifier.h"
#include "TokenService.h"

namespace httplib {
class Server;
class Response;
}  // namespace httplib

namespace orvane::backend {

// The sign-in routes: an identity token from Google or Apple exchanged for the backend's own
// tokens, each identity token once, and a refresh token traded for new ones.
class AuthRoutes {
public:
    struct Trust {
        std::vector<TrustedIssuer> google;
        std::vector<TrustedIssuer> apple;
        // The development identity provider's issuer, whose users are kept apart; empty without.
        std::string developmentIssuer;
    };

    AuthRoutes(Database& database, TokenService& tokens, Trust trust)
        : m_database(database), m_tokens(tokens), m_trust(std::move(trust)) {}

    void registerOn(httplib::Server& server);

private:
    void signIn(httplib::Response& response, const std::vector<TrustedIssuer>& trust,
                const std::string& provider, const std::string& token,
                const std::string& claimedUser);

    Database& m_database;
    TokenService& m_tokens;
    Trust m_trust;
};

}  // namespace orvane::backend
