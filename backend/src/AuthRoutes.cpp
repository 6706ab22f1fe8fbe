// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "AuthRoutes.h"

#include <httplib.h>

#include "Crypto.h"
#include "JsonFields.h"
#include "Replies.h"
#include "protocol/Base64.h"
#include "protocol/Endpoints.h"

namespace orvane::backend {

void AuthRoutes::signIn(httplib::Response& response, const std::vector<TrustedIssuer>& trust,
                        const std::string& provider, const std::string& token,
                        const std::string& claimedUser) {
    const auto verified = verifyIdToken(token, trust, nowSeconds());
    if (const auto* reason = std::get_if<std::string>(&verified)) {
        errorReply(response, 401, "Invalid identity token", *reason);
        return;
    }
    const auto& identity = std::get<Identity>(verified);
    if (!claimedUser.empty() && claimedUser != identity.subject) {
        errorReply(response, 401, "Invalid identity token", "the user id does not match the token");
        return;
    }
    // Known by its signature's bytes: however the token is spelt, it is the same token.
    const auto signature = base64::decodeUrlCanonical(token.substr(token.rfind('.') + 1));
    if (!signature || !m_database.firstUseOfIdentityToken(hex(sha256(*signature)),
                                                          identity.expiresAt, nowSeconds())) {
        errorReply(response, 401, "Invalid identity token",
                   "the token was already exchanged for a sign-in");
        return;
    }
    const bool fromDevProvider =
        !m_trust.developmentIssuer.empty() && identity.issuer == m_trust.developmentIssuer;
    const auto user = m_database.findOrCreateUser(
        fromDevProvider ? "dev" : provider, identity.subject, identity.email, identity.firstName);
    noteRequestUser(user.id);
    if (user.disabled) {
        errorReply(response, 403, "Account disabled", "this account has been disabled");
        return;
    }
    const auto tokens = m_tokens.issue(user);
    jsonReply(response, 200,
              {{"accessToken", tokens.accessToken},
               {"refreshToken", tokens.refreshToken},
               {"user", userJson(user)}});
}

void AuthRoutes::registerOn(httplib::Server& server) {
    server.Post(std::string(endpoints::googleSignIn),
                [this](const httplib::Request& request, httplib::Response& response) {
                    const auto body = parseUntrusted(request.body);
                    const auto token = stringField(body, "googleToken");
                    if (!token || token->empty()) {
                        errorReply(response, 400, "Invalid request", "\"googleToken\" is required");
                        return;
                    }
                    signIn(response, m_trust.google, "google", *token, "");
                });

    server.Post(std::string(endpoints::appleSignIn), [this](const httplib::Request& request,
                                                            httplib::Response& response) {
        if (m_trust.apple.empty()) {
            errorReply(response, 501, "Apple sign-in is not configured");
            return;
        }
        const auto body = parseUntrusted(request.body);
        const auto token = stringField(body, "token");
        if (!token || token->empty()) {
            errorReply(response, 400, "Invalid request", "\"token\" is required");
            return;
        }
        signIn(response, m_trust.apple, "apple", *token, stringField(body, "userId").value_or(""));
    });

    server.Post(std::string(endpoints::refresh), [this](const httplib::Request& request,
                                                        httplib::Response& response) {
        const auto body = parseUntrusted(request.body);
        const auto refreshToken = stringField(body, "refreshToken");
        if (!refreshToken || refreshToken->empty()) {
            errorReply(response, 400, "Invalid request", "\"refreshToken\" is required");
            return;
        }
        const auto renewed = m_tokens.renew(*refreshToken);
        if (const auto* refusal = std::get_if<TokenService::Refusal>(&renewed)) {
            errorReply(response, 401, "Invalid refresh token", *refusal);
            return;
        }
        const auto& renewal = std::get<TokenService::Renewal>(renewed);
        noteRequestUser(renewal.userId);
        const auto user = m_database.userById(renewal.userId);
        if (!user) {
            errorReply(response, 401, "Invalid refresh token", "the account no longer exists");
            return;
        }
        if (user->disabled) {
            errorReply(response, 403, "Account disabled", "this account has been disabled");
            return;
        }
        jsonReply(response, 200,
                  {{"accessToken", renewal.tokens.accessToken},
                   {"refreshToken", renewal.tokens.refreshToken},
                   {"user", userJson(*user)}});
    });
}

}  // namespace orvane::backend
