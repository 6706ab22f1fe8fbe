// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "accounts/AuthManager.h"
#include "accounts/OAuthEncoding.h"
#include "adapters/curl/CurlHttpClient.h"
#include "adapters/null/NullPlatform.h"
#include "adapters/std/RunLoop.h"
#include "backend/BackendHarness.h"
#include "crypto/OpenSslCrypto.h"
#include "platform/WebAuthSession.h"

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;

// Follows the authorisation URL the way a browser and its user would: opens the development
// sign-in page, submits its form with a name, and hands the redirect back.
class FormSubmittingBrowser : public WebAuthSessionFactory {
public:
    explicit FormSubmittingBrowser(int port, std::string name)
        : m_port(port), m_name(std::move(name)) {}
    std::string visitedUrl;

    std::unique_ptr<WebAuthSession> makeSession(const std::string& url, const std::string&,
                                                WebAuthSession::Completion completion) override {
        visitedUrl = url;
        struct Session : WebAuthSession {
            int port;
            std::string url, name;
            WebAuthSession::Completion completion;
            std::thread worker;
            void start() override {
                worker = std::thread([this] {
                    httplib::Client browser("127.0.0.1", port);
                    const auto page = browser.Get(url.substr(url.find("/dev/")));
                    if (!page || page->status != 200) {
                        completion(std::nullopt, "the sign-in page did not load");
                        return;
                    }
                    httplib::Params form;
                    const auto items =
                        oauth::queryItems(url).value_or(std::vector<oauth::QueryItem>{});
                    for (const auto& [key, value] : items) form.emplace(key, value.value_or(""));
                    form.emplace("name", name);
                    form.emplace("action", "approve");
                    const auto redirect = browser.Post("/dev/oauth2/v2/auth", form);
                    completion(redirect->get_header_value("Location"), std::nullopt);
                });
            }
            ~Session() override {
                if (worker.joinable()) worker.join();
            }
        };
        auto session = std::make_unique<Session>();
        session->port = m_port;
        session->url = url;
        session->name = m_name;
        session->completion = std::move(completion);
        return session;
    }

private:
    int m_port;
    std::string m_name;
};

// The app's sign-in against the reference backend's development identity provider.
class GoogleSignInOverHttp : public ::testing::Test {
protected:
    void SetUp() override {
        backendServer.start();
        const auto origin = backendServer.origin();
        auto callbackScheme = backendServer.redirectUri();
        callbackScheme.erase(callbackScheme.find(':'));
        browser = std::make_unique<FormSubmittingBrowser>(backendServer.port, "Katherine Johnson");
        auth = std::make_unique<AuthManager>(
            AuthServices{mainQueue, http, crypto, *browser, apple},
            AuthConfig{backendServer.clientId(), callbackScheme, origin + "/dev/oauth2/v2/auth",
                       origin + "/dev/token", origin});
    }
    std::optional<bool> signIn() {
        std::optional<bool> result;
        auth->signInWithGoogle([&](bool ok) { result = ok; });
        mainQueue.runUntil([&] { return result.has_value(); }, 30);
        return result;
    }

    BackendHarness backendServer{"client-signin"};
    RunLoop mainQueue;
    CurlHttpClient http;
    OpenSslCrypto crypto;
    UnavailableAppleSignIn apple;
    std::unique_ptr<FormSubmittingBrowser> browser;
    std::unique_ptr<AuthManager> auth;
};

TEST_F(GoogleSignInOverHttp, FromAuthorisationUrlToStoredTokens) {
    const auto result = signIn();
    ASSERT_EQ(result, true) << auth->lastError().value_or("");
    EXPECT_FALSE(auth->lastError());
    EXPECT_TRUE(auth->isAuthenticated());
    EXPECT_TRUE(auth->refreshToken());
    EXPECT_EQ(auth->userName(), "Katherine");
    EXPECT_THAT(browser->visitedUrl, HasSubstr("code_challenge_method=S256"));

    // The token is the backend's own: the chat endpoint takes it.
    EXPECT_EQ(backendServer.chat(*auth->accessToken(), question("what is a deadlock"))->status,
              200);
}

}  // namespace
}  // namespace orvane::testing
