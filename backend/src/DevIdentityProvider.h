// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "IdentityVerifier.h"

namespace httplib {
class Server;
}

namespace orvane::backend {

// A stand-in for Google's OAuth 2.0 endpoints, for use on one machine without a network: an
// authorisation page ("Continue as" a name of your choice) and a token endpoint that checks the
// PKCE verifier (RFC 7636, S256) and returns an RS256 ID token. The backend trusts its key the way
// it trusts Google's.
class DevIdentityProvider {
public:
    using Clock = std::function<std::int64_t()>;

    // keyPath: where its RSA key lives (made if missing).
    DevIdentityProvider(std::string clientId, const std::string& keyPath, Clock clock);

    // The page the browser shows (/dev/oauth2/v2/auth) and the exchange the app makes
    // (/dev/token, /dev/jwks.json): both on one server, or each on its own.
    void registerRoutes(httplib::Server& server);
    void registerPage(httplib::Server& server);
    void registerExchange(httplib::Server& server);
    TrustedIssuer trust() const;

    // The one account this computer's sign-in gives: the user the server runs as, never a
    // name typed on the page (which anyone who can reach the page could type).
    struct LocalUser {
        std::string name;     // what Orvane greets them by
        std::string subject;  // the ID token's "sub", from the user id
        std::string handle;   // the login name, for the address
    };
    void signInOnly(LocalUser user) { m_localUser = std::move(user); }
    static LocalUser processUser();

    // The redirect URI an installed app with this client ID uses.
    static std::string redirectUriFor(const std::string& clientId);

    static constexpr const char* keyId = "orvane-dev-1";
    // Sign-ins approved on the page and not yet exchanged, at most; each lasts five minutes.
    static constexpr std::size_t maxPendingCodes = 1000;
    // The "iss" of its ID tokens: fixed, so tokens survive a restart on another port.
    static constexpr const char* issuer = "https://dev-identity.orvane.invalid";

private:
    struct PendingCode {
        std::string challenge;
        std::string redirectUri;
        std::string name;
        std::string nonce;
        std::int64_t expiresAt;
    };
    // Drops the codes whose time is up. Called with the mutex held.
    void pruneExpired(std::int64_t now);

    std::string m_clientId;
    std::shared_ptr<const RsaKey> m_key;
    Clock m_clock;
    std::mutex m_mutex;
    std::map<std::string, PendingCode> m_codes;
    std::optional<LocalUser> m_localUser;

public:
    std::size_t pendingCodes() {
        std::lock_guard lock(m_mutex);
        return m_codes.size();
    }
};

}  // namespace orvane::backend
