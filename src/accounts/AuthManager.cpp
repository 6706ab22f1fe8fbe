// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "accounts/AuthManager.h"

#include "accounts/OAuthEncoding.h"
#include "accounts/SignInReplies.h"
#include "orvane/BuildConfig.h"
#include "platform/HttpClient.h"
#include "platform/MainQueue.h"
#include "platform/WebAuthSession.h"
#include "protocol/Crypto.h"
#include "protocol/Endpoints.h"
#include "protocol/Pkce.h"
#include "protocol/Utf8.h"
#include "text/Text.h"
#include "text/Url.h"

namespace orvane {

namespace {

constexpr double kSignInTimeoutSeconds = 60;

// Runs the block on the main queue if the manager still exists then. Callable from any thread:
// it touches nothing of the manager until it runs on the main thread.
void postIfAlive(MainQueue& queue, std::weak_ptr<int> alive, std::function<void()> block) {
    queue.post([alive = std::move(alive), block = std::move(block)] {
        if (alive.lock()) block();
    });
}

}  // namespace

AuthConfig AuthConfig::fromBuild() {
    return AuthConfig{
        std::string(buildconfig::googleClientId), std::string(buildconfig::callbackScheme),
        std::string(buildconfig::googleAuthEndpoint), std::string(buildconfig::googleTokenEndpoint),
        std::string(buildconfig::apiBase)};
}

AuthManager& AuthManager::shared() {
    static AuthManager instance;
    return instance;
}

AuthManager::AuthManager() : m_config(AuthConfig::fromBuild()) {}

AuthManager::AuthManager(const AuthServices& services, AuthConfig config) {
    setServices(services, std::move(config));
}

AuthManager::~AuthManager() = default;

void AuthManager::setServices(const AuthServices& services, AuthConfig config) {
    m_services = std::make_unique<AuthServices>(services);
    m_config = std::move(config);
}

std::optional<std::string> AuthManager::userName() const {
    if (!m_user || !m_user->is_object()) return std::nullopt;
    const auto name = m_user->find("firstName");
    if (name == m_user->end() || !name->is_string()) return std::nullopt;
    return name->get<std::string>();
}

void AuthManager::signOut() {
    ++m_tokenGeneration;
    m_accessToken.reset();
    m_refreshToken.reset();
    m_user.reset();
}

void AuthManager::onMain(std::function<void()> block) {
    postIfAlive(m_services->mainQueue, m_alive, std::move(block));
}

void AuthManager::fail(const std::string& message, const Completion& completion) {
    m_lastError = message;
    onMain([completion] {
        if (completion) completion(false);
    });
}

std::string AuthManager::makeCodeVerifier() {
    return pkce::makeVerifier(m_services->crypto);
}

std::string AuthManager::makeCodeChallenge(const std::string& verifier) {
    return pkce::challengeFor(m_services->crypto, verifier);
}

std::string AuthManager::redirectUri() const {
    return m_config.callbackScheme + ":/oauth2redirect/google";
}

void AuthManager::signInWithGoogle(Completion completion) {
    m_lastError.reset();
    if (!m_services) {
        m_lastError = "Sign-in is not available";
        if (completion) completion(false);
        return;
    }
    m_pkceVerifier = makeCodeVerifier();
    const auto challenge = makeCodeChallenge(*m_pkceVerifier);
    m_oauthState = pkce::makeToken(m_services->crypto);
    m_oauthNonce = pkce::makeToken(m_services->crypto);
    const auto url =
        oauth::urlWithQuery(m_config.authorizationEndpoint, {{"client_id", m_config.googleClientID},
                                                             {"redirect_uri", redirectUri()},
                                                             {"response_type", "code"},
                                                             {"scope", "openid email profile"},
                                                             {"code_challenge", challenge},
                                                             {"code_challenge_method", "S256"},
                                                             {"state", m_oauthState},
                                                             {"nonce", m_oauthNonce}});
    if (!Url::parse(url)) {
        fail("Could not build auth URL", completion);
        return;
    }
    // The earlier attempt's session, if any, is released here, not cancelled.
    m_authSession = m_services->webAuth.makeSession(
        url, m_config.callbackScheme,
        [this, &queue = m_services->mainQueue, alive = std::weak_ptr<int>(m_alive), completion](
            std::optional<std::string> callbackUrl, std::optional<std::string> error) {
            postIfAlive(queue, alive, [this, callbackUrl, error, completion] {
                handleRedirect(callbackUrl, error, completion);
            });
        });
    m_authSession->start();
}

void AuthManager::handleRedirect(const std::optional<std::string>& callbackUrl,
                                 const std::optional<std::string>& error, Completion completion) {
    const auto redirect = signin::readRedirect(callbackUrl, error, m_oauthState);
    if (redirect.kind == signin::Redirect::Kind::notOurs) return;
    if (redirect.kind == signin::Redirect::Kind::failed) {
        fail(redirect.text, completion);
        return;
    }
    exchangeCodeForIDToken(redirect.text, [this, completion](std::optional<std::string> idToken) {
        if (idToken && !signin::carriesNonce(*idToken, m_oauthNonce)) {
            m_lastError = wrongTokenMessage;
            idToken.reset();
        }
        if (!idToken) {
            onMain([completion] {
                if (completion) completion(false);
            });
            return;
        }
        authenticateWithBackend("google", *idToken, std::nullopt, [this, completion](bool ok) {
            onMain([completion, ok] {
                if (completion) completion(ok);
            });
        });
    });
}

void AuthManager::exchangeCodeForIDToken(
    const std::string& code, std::function<void(std::optional<std::string>)> completion) {
    if (!m_pkceVerifier) {
        m_lastError = "No PKCE verifier";
        completion(std::nullopt);
        return;
    }
    const auto body = oauth::formBody({{"code", code},
                                       {"client_id", m_config.googleClientID},
                                       {"redirect_uri", redirectUri()},
                                       {"grant_type", "authorization_code"},
                                       {"code_verifier", *m_pkceVerifier}});
    post(m_config.tokenEndpoint, "application/x-www-form-urlencoded", body,
         [this, completion](const HttpResult& reply) {
             auto read = signin::readTokenReply(reply);
             if (!read.token) m_lastError = read.problem;
             completion(std::move(read.token));
         });
}

void AuthManager::post(const std::string& url, const char* contentType, std::string body,
                       std::function<void(const HttpResult&)> onReply) {
    HttpRequest request;
    request.method = "POST";
    request.url = url;
    request.headers = {{"Content-Type", contentType}};
    request.body = std::move(body);
    request.idleTimeoutSeconds = kSignInTimeoutSeconds;
    request.totalTimeoutSeconds = kSignInTimeoutSeconds;
    m_services->http.send(
        std::move(request), [&queue = m_services->mainQueue, alive = std::weak_ptr<int>(m_alive),
                             onReply = std::move(onReply)](HttpResult reply) {
            postIfAlive(queue, alive, [onReply, reply = std::move(reply)] { onReply(reply); });
        });
}

void AuthManager::authenticateWithBackend(const std::string& provider, const std::string& token,
                                          const std::optional<std::string>& userId,
                                          Completion completion) {
    const bool apple = provider == "apple";
    const std::string url =
        m_config.apiBase + std::string(apple ? endpoints::appleSignIn : endpoints::googleSignIn);
    const auto parsed = Url::parse(url);
    if (!parsed || !parsed->isSafeForCredentials()) {
        fail("Bad backend URL", completion);
        return;
    }
    const nlohmann::json body =
        apple ? nlohmann::json{{"token", token}, {"userId", userId.value_or("")}}
              : nlohmann::json{{"googleToken", token}};
    post(url, "application/json",
         body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
         [this, completion](const HttpResult& reply) { handleBackendReply(reply, completion); });
}

void AuthManager::handleBackendReply(const HttpResult& reply, const Completion& completion) {
    auto signedIn = signin::readSignInReply(reply);
    if (signedIn.account) {
        ++m_tokenGeneration;
        m_accessToken = std::move(signedIn.account->accessToken);
        m_refreshToken = std::move(signedIn.account->refreshToken);
        m_user = std::move(signedIn.account->user);
    }
    if (signedIn.problem) {
        fail(*signedIn.problem, completion);
        return;
    }
    if (completion) completion(true);
}

void AuthManager::refreshSession(RefreshCompletion completion) {
    const bool underWay = !m_refreshWaiters.empty();
    m_refreshWaiters.push_back(std::move(completion));
    if (underWay) return;
    if (!m_services || !m_refreshToken) {
        finishRefresh(RefreshResult::refused);
        return;
    }
    sendRefresh(false);
}

void AuthManager::sendRefresh(bool isRetry) {
    const std::string url = m_config.apiBase + std::string(endpoints::refresh);
    const auto parsed = Url::parse(url);
    if (!parsed || !parsed->isSafeForCredentials() || !m_refreshToken) {
        finishRefresh(RefreshResult::failed);
        return;
    }
    const nlohmann::json body = {{"refreshToken", *m_refreshToken}};
    post(url, "application/json",
         body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
         [this, generation = m_tokenGeneration, isRetry](const HttpResult& reply) {
             handleRefreshReply(reply, generation, isRetry);
         });
}

void AuthManager::handleRefreshReply(const HttpResult& reply, std::uint64_t generation,
                                     bool isRetry) {
    if (generation != m_tokenGeneration) {
        // Signed out or signed in anew meanwhile: what this refresh renewed is not wanted.
        finishRefresh(m_accessToken ? RefreshResult::refreshed : RefreshResult::refused);
        return;
    }
    using Kind = signin::Renewed::Kind;
    auto renewed = signin::readRenewalReply(reply);
    if (renewed.kind == Kind::renewed) {
        ++m_tokenGeneration;
        m_accessToken = std::move(renewed.account.accessToken);
        if (renewed.account.refreshToken) m_refreshToken = std::move(renewed.account.refreshToken);
        if (renewed.account.user) m_user = std::move(renewed.account.user);
        finishRefresh(RefreshResult::refreshed);
        return;
    }
    // The reply may have been lost after the backend used the token up; the backend hands the
    // same new tokens to the same token presented again shortly after, so one more try is safe.
    if (renewed.kind == Kind::lost && !isRetry) {
        m_services->mainQueue.postAfter(
            refreshRetryDelay, [this, alive = std::weak_ptr<int>(m_alive), generation] {
                if (!alive.lock()) return;
                if (generation != m_tokenGeneration) {
                    finishRefresh(m_accessToken ? RefreshResult::refreshed
                                                : RefreshResult::refused);
                    return;
                }
                sendRefresh(true);
            });
        return;
    }
    // Only the backend's own word ends the sign-in; a network failure or a server in trouble
    // leaves it for the next try.
    if (renewed.kind == Kind::refused) m_refreshToken.reset();
    finishRefresh(renewed.kind == Kind::refused ? RefreshResult::refused : RefreshResult::failed);
}

void AuthManager::finishRefresh(RefreshResult result) {
    auto waiters = std::move(m_refreshWaiters);
    m_refreshWaiters.clear();
    if (!m_services) {
        for (auto& waiter : waiters) {
            if (waiter) waiter(result);
        }
        return;
    }
    onMain([waiters = std::move(waiters), result] {
        for (const auto& waiter : waiters) {
            if (waiter) waiter(result);
        }
    });
}

void AuthManager::signInWithApple(Completion completion) {
    m_lastError.reset();
    m_appleSignInCompletion = std::move(completion);
    if (!m_services) {
        m_lastError = "Sign-in is not available";
        if (m_appleSignInCompletion) m_appleSignInCompletion(false);
        return;
    }
    m_services->apple.performRequest(
        [this, &queue = m_services->mainQueue, alive = std::weak_ptr<int>(m_alive)](
            std::optional<AppleIdCredential> credential, std::optional<std::string> error) {
            postIfAlive(queue, alive,
                        [this, credential, error] { handleAppleResult(credential, error); });
        });
}

void AuthManager::handleAppleResult(const std::optional<AppleIdCredential>& credential,
                                    const std::optional<std::string>& error) {
    const auto report = [this](bool ok) {
        onMain([completion = m_appleSignInCompletion, ok] {
            if (completion) completion(ok);
        });
    };
    if (error) {
        m_lastError = "Apple Sign In: " + *error;
        report(false);
        return;
    }
    std::optional<std::string> token;
    if (credential && credential->identityToken) {
        const std::string bytes(credential->identityToken->begin(),
                                credential->identityToken->end());
        if (utf8::isValid(bytes)) token = bytes;
    }
    if (!token) {
        m_lastError = "Could not get Apple identity token";
        report(false);
        return;
    }
    authenticateWithBackend("apple", *token, credential->user, report);
}

}  // namespace orvane
