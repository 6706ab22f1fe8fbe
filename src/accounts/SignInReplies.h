// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/HttpClient.h"

namespace orvane::signin {

// What the browser's redirect says of a Google sign-in.
struct Redirect {
    enum class Kind {
        code,     // the authorisation code to trade for an ID token, in `text`
        failed,   // the sign-in ended; why, in `text`
        notOurs,  // not the answer to this sign-in (another's, or a forgery): to be ignored
    };
    Kind kind;
    std::string text;
};
// `state` is the one this sign-in sent; only a redirect carrying it back counts.
Redirect readRedirect(const std::optional<std::string>& callbackUrl,
                      const std::optional<std::string>& browserError, const std::string& state);

// The token endpoint's reply: the ID token, or why there is none.
struct IdToken {
    std::optional<std::string> token;
    std::string problem;
};
IdToken readTokenReply(const HttpResult& reply);

// Whether the ID token's claims carry this sign-in's nonce. Read without checking the signature:
// the token came straight from the token endpoint, and the backend checks it again.
bool carriesNonce(const std::string& idToken, const std::string& nonce);

// The account a backend reply gives: a reply without an error replaces all three fields.
struct Account {
    std::optional<std::string> accessToken;
    std::optional<std::string> refreshToken;
    std::optional<nlohmann::json> user;  // an object, or nothing
};

// The backend's answer to a sign-in: the account it gives (unset when it gives none) and, when
// the sign-in failed, why. A reply without an access token gives an account all the same, which
// signs the user out.
struct SignedIn {
    std::optional<Account> account;
    std::optional<std::string> problem;
};
SignedIn readSignInReply(const HttpResult& reply);

// The backend's answer to a renewal.
struct Renewed {
    enum class Kind {
        renewed,  // `account` holds the new access token, and what else the reply carried
        lost,     // no reply came: the backend may have used the token up, so it may be tried again
        refused,  // the backend's own word: this sign-in is over
        failed,   // a server in trouble; the tokens stay for the next try
    };
    Kind kind;
    Account account;
};
Renewed readRenewalReply(const HttpResult& reply);

}  // namespace orvane::signin
