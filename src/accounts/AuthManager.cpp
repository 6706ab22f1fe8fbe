// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "accounts/AuthManager.h"

#include "accounts/OAuthEncoding.h"
#include "orvane/BuildConfig.h"
#include "platform/HttpClient.h"
#include "platform/MainQueue.h"
#include "platform/WebAuthSession.h"
#include "protocol/Base64.h"
#include "protocol/Crypto.h"
#include "protocol/Endpoints.h"
#include "protocol/Pkce.h"
#include "protocol/Utf8.h"
#include "text/Text.h"
#include "text/Url.h"

namespace orvane {

namespace {

constexpr double kSignInTimeoutSeconds = 60;
constexpr std::size_t kReplyExcerptCharacters = 200;

std::optional<nlohmann::json> jsonObject(const std::string& body) {
    auto parsed = nlohmann::json::parse(body, nullptr, false);
    if (!parsed.is_object()) return std::nullopt;
    return parsed;
}

std::optional<std::string> stringMember(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

// The body as text, or nothing when it is not UTF-8.
std::optional<std::string> decoded(const std::string& body) {
    if (!utf8::isValid(body)) return std::nullopt;
    return body;
}

// The first `count` characters of UTF-8 text.
std::string prefixCharacters(const std::string& text, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == count) {
            return text.substr(0, i);
        }
    }
    return text;
}

// Runs the block on the main queue if the manager still exists then. Callable from any thread:
// it touches nothing of the manager until it runs on the main thread.
void postIfAlive(MainQueue& queue, std::weak_ptr<int> alive, std::function<void()> block) {
    queue.post([alive = std::move(alive), block = std::move(block)] {
        if (alive.lock()) block();
    });
}

int statusOf(const HttpResult& reply) {
    return reply.response ? reply.response->statusCode : 0;
}

const std::optional<std::string>* firstItem(const std::vector<oauth::QueryItem>& items,
                                            const char* name) {
    for (const auto& [itemName, value] : items) {
        if (itemName == name) return &value;
    }
    return nullptr;
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
    return stringMember(*m_user, "firstName");
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
    if (error) {
        fail("Browser session: " + *error, completion);
        return;
    }
    if (!callbackUrl) {
        fail("No callback URL returned", completion);
        return;
    }
    const auto items = oauth::queryItems(*callbackUrl);
    if (!items || items->empty()) {
        fail("No auth code in callback", completion);
        return;
    }
    // Any page can send the browser to Orvane's scheme; only the answer to this sign-in counts.
    const auto* state = firstItem(*items, "state");
    if (!state || !*state || **state != m_oauthState) return;
    if (const auto* errorValue = firstItem(*items, "error"); errorValue && *errorValue) {
        const auto* description = firstItem(*items, "error_description");
        const auto details = description && *description ? **description : "no details";
        fail("Google: " + **errorValue + " - " + details, completion);
        return;
    }
    const auto* code = firstItem(*items, "code");
    if (!code || !*code) {
        fail("No auth code in callback", completion);
        return;
    }
    exchangeCodeForIDToken(**code, [this, completion](std::optional<std::string> idToken) {
        if (idToken && !carriesNonce(*idToken)) {
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
         [this, completion](const HttpResult& reply) { completion(readTokenReply(reply)); });
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

// Read without checking the signature: the token came straight from the token endpoint, and the
// backend checks it again. What matters here is whether it was issued for this sign-in.
bool AuthManager::carriesNonce(const std::string& idToken) const {
    const auto first = idToken.find('.');
    const auto second = idToken.find('.', first + 1);
    if (first == std::string::npos || second == std::string::npos) return false;
    const auto payload =
        base64::decodeUrl(std::string_view(idToken).substr(first + 1, second - first - 1));
    if (!payload) return false;
    const auto claims = jsonObject(std::string(payload->begin(), payload->end()));
    return claims && stringMember(*claims, "nonce") == m_oauthNonce;
}

std::optional<std::string> AuthManager::readTokenReply(const HttpResult& reply) {
    const auto status = std::to_string(statusOf(reply));
    if (reply.error) {
        m_lastError = "Token exchange: " + *reply.error;
        return std::nullopt;
    }
    if (!reply.body) {
        m_lastError = "Token exchange (HTTP " + status + "): empty";
        return std::nullopt;
    }
    const auto object = jsonObject(*reply.body);
    if (!object) {
        m_lastError =
            "Token exchange (HTTP " + status + "): " + decoded(*reply.body).value_or("empty");
        return std::nullopt;
    }
    if (auto idToken = stringMember(*object, "id_token")) return idToken;
    const auto detail = stringMember(*object, "error_description")
                            .value_or(stringMember(*object, "error").value_or("no id_token"));
    m_lastError = "Google token (HTTP " + status + "): " + detail;
    return std::nullopt;
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
    const auto status = std::to_string(statusOf(reply));
    if (reply.error) {
        fail("Backend: " + *reply.error, completion);
        return;
    }
    if (!reply.body) {
        fail("Backend (HTTP " + status + "): empty", completion);
        return;
    }
    const auto object = jsonObject(*reply.body);
    if (!object) {
        fail("Backend (HTTP " + status + "): " + decoded(*reply.body).value_or("empty"),
             completion);
        return;
    }
    if (const auto error = stringMember(*object, "error")) {
        const auto details = stringMember(*object, "details");
        fail("Backend: " + *error + (details ? " - " + *details : ""), completion);
        return;
    }
    // A reply without an error replaces all three fields, so one that lacks an access token
    // signs the user out.
    ++m_tokenGeneration;
    m_accessToken = stringMember(*object, "accessToken");
    m_refreshToken = stringMember(*object, "refreshToken");
    const auto user = object->find("user");
    m_user = user != object->end() && user->is_object() ? std::optional(*user) : std::nullopt;
    if (!m_accessToken) {
        fail("No access token in response: " +
                 prefixCharacters(decoded(*reply.body).value_or(""), kReplyExcerptCharacters),
             completion);
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
    const int status = statusOf(reply);
    const auto object = reply.body ? jsonObject(*reply.body) : std::nullopt;
    const auto accessToken = object ? stringMember(*object, "accessToken") : std::nullopt;
    if (accessToken && !stringMember(*object, "error")) {
        ++m_tokenGeneration;
        m_accessToken = accessToken;
        if (auto refreshToken = stringMember(*object, "refreshToken")) {
            m_refreshToken = std::move(refreshToken);
        }
        if (const auto user = object->find("user"); user != object->end() && user->is_object()) {
            m_user = *user;
        }
        finishRefresh(RefreshResult::refreshed);
        return;
    }
    // The reply may have been lost after the backend used the token up; the backend hands the
    // same new tokens to the same token presented again shortly after, so one more try is safe.
    if (reply.error && !isRetry) {
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
    const bool refused = !reply.error && (status == 400 || status == 401 || status == 403);
    if (refused) m_refreshToken.reset();
    finishRefresh(refused ? RefreshResult::refused : RefreshResult::failed);
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
        token = decoded(bytes);
    }
    if (!token) {
        m_lastError = "Could not get Apple identity token";
        report(false);
        return;
    }
    authenticateWithBackend("apple", *token, credential->user, report);
}

}  // namespace orvane
