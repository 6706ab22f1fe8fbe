// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/AppleSignIn.h"

namespace orvane {

class Crypto;
class HttpClient;
class MainQueue;
class WebAuthSession;
class WebAuthSessionFactory;
struct HttpResult;

// The platform services the sign-in flows use; all outlive the manager.
struct AuthServices {
    MainQueue& mainQueue;
    HttpClient& http;
    Crypto& crypto;
    WebAuthSessionFactory& webAuth;
    AppleSignIn& apple;
};

struct AuthConfig {
    std::string googleClientID;
    std::string callbackScheme;  // the client ID with its labels reversed
    std::string authorizationEndpoint;
    std::string tokenEndpoint;
    std::string apiBase;  // an origin with no trailing slash

    // The values compiled into this build.
    static AuthConfig fromBuild();
};

// The signed-in user's account state, held in memory only: every run starts signed out, and the
// sign-in flows that fill it. State is read and written on the main thread: network replies and
// browser redirects are handed to it before they touch anything. Each sign-in reports once,
// through a completion posted to the main queue, with lastError set first on failure.
class AuthManager {
public:
    using Completion = std::function<void(bool success)>;

    // The process-wide account state. The application gives it its services once, at start-up;
    // components still take an AuthManager& so that tests can build their own.
    static AuthManager& shared();

    AuthManager();
    AuthManager(const AuthServices& services, AuthConfig config);
    ~AuthManager();
    void setServices(const AuthServices& services, AuthConfig config);
    AuthManager(const AuthManager&) = delete;
    AuthManager& operator=(const AuthManager&) = delete;

    // True exactly when an access token is held, the empty string included.
    bool isAuthenticated() const { return m_accessToken.has_value(); }
    // The user record's "firstName" when it is a string; nothing otherwise.
    std::optional<std::string> userName() const;

    const std::optional<std::string>& accessToken() const { return m_accessToken; }
    const std::optional<std::string>& refreshToken() const { return m_refreshToken; }
    const std::optional<nlohmann::json>& user() const { return m_user; }
    const std::optional<std::string>& lastError() const { return m_lastError; }

    void setAccessToken(std::optional<std::string> token) { m_accessToken = std::move(token); }
    void setRefreshToken(std::optional<std::string> token) { m_refreshToken = std::move(token); }
    void setUser(std::optional<nlohmann::json> user) { m_user = std::move(user); }
    void setLastError(std::optional<std::string> message) { m_lastError = std::move(message); }

    // Forgets the tokens and the user record; contacts nobody and leaves lastError alone.
    void signOut();

    enum class RefreshResult {
        refreshed,  // new tokens are held
        refused,    // the backend will not renew this sign-in: the user must sign in again
        failed,     // the backend could not be asked; the tokens are as they were
    };
    using RefreshCompletion = std::function<void(RefreshResult)>;
    // Trades the refresh token for new tokens at the backend. A refresh token is good for one
    // trade, so calls made while one is under way share its answer. Completions are posted to the
    // main queue, also when there is nothing to refresh (refused).
    void refreshSession(RefreshCompletion completion);
    // A renewal whose reply was lost is tried once more after this long.
    static constexpr double refreshRetryDelay = 1.0;

    // Google sign-in with PKCE in the browser, then the backend exchange.
    void signInWithGoogle(Completion completion);
    // Sign in with Apple, then the backend exchange.
    void signInWithApple(Completion completion);

    const std::optional<std::string>& pkceVerifier() const { return m_pkceVerifier; }

    static constexpr const char* wrongTokenMessage =
        "Google: the sign-in answer belongs to another sign-in; please try again";

private:
    std::string makeCodeVerifier();
    std::string makeCodeChallenge(const std::string& verifier);
    std::string redirectUri() const;
    void handleRedirect(const std::optional<std::string>& callbackUrl,
                        const std::optional<std::string>& error, Completion completion);
    void exchangeCodeForIDToken(const std::string& code,
                                std::function<void(std::optional<std::string>)> completion);
    void authenticateWithBackend(const std::string& provider, const std::string& token,
                                 const std::optional<std::string>& userId, Completion completion);
    void handleBackendReply(const HttpResult& reply, const Completion& completion);
    void sendRefresh(bool isRetry);
    void handleRefreshReply(const HttpResult& reply, std::uint64_t generation, bool isRetry);
    void finishRefresh(RefreshResult result);
    void handleAppleResult(const std::optional<AppleIdCredential>& credential,
                           const std::optional<std::string>& error);
    void fail(const std::string& message, const Completion& completion);
    // A sign-in POST; the reply is handed to the main thread while the manager exists.
    void post(const std::string& url, const char* contentType, std::string body,
              std::function<void(const HttpResult&)> onReply);
    // Runs the block on the main queue while this manager exists.
    void onMain(std::function<void()> block);

    std::unique_ptr<AuthServices> m_services;
    AuthConfig m_config;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    std::unique_ptr<WebAuthSession> m_authSession;
    std::optional<std::string> m_pkceVerifier;
    // Sent with the latest Google sign-in: its redirect must carry the state back, and the ID
    // token the nonce, or they answer another sign-in (or none: a forgery).
    std::string m_oauthState;
    std::string m_oauthNonce;
    Completion m_appleSignInCompletion;

    std::vector<RefreshCompletion> m_refreshWaiters;
    // Bumped whenever the tokens are replaced or forgotten, so that a refresh answered after a
    // sign-out or a new sign-in stores nothing.
    std::uint64_t m_tokenGeneration = 0;

    std::optional<std::string> m_accessToken;
    std::optional<std::string> m_refreshToken;
    std::optional<nlohmann::json> m_user;
    std::optional<std::string> m_lastError;
};

}  // namespace orvane
