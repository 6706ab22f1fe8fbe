// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>

#include "backend/BackendHarness.h"
#include "protocol/Base64.h"

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class SignIn : public ::testing::Test {
protected:
    void SetUp() override { backendServer.start(); }

    // An ID token signed with the development provider's own key, with the given changes.
    std::string devSigned(nlohmann::json claims) {
        auto key = backend::RsaKey::fromPrivatePem(backendServer.fileText("dev-idp-key.pem"));
        return backend::jwt::signRs256(claims, *key, backend::DevIdentityProvider::keyId);
    }
    nlohmann::json validClaims() {
        const auto now = static_cast<std::int64_t>(std::time(nullptr));
        return {{"iss", backend::DevIdentityProvider::issuer},
                {"aud", backendServer.clientId()},
                {"sub", "dev-123"},
                {"given_name", "Grace"},
                {"email", "grace@dev.orvane.invalid"},
                {"iat", now},
                {"exp", now + 600}};
    }
    httplib::Result exchange(const std::string& token) {
        return backendServer.client().Post("/api/v1/auth/mobile/google",
                                           nlohmann::json{{"googleToken", token}}.dump(),
                                           "application/json");
    }

    BackendHarness backendServer{"signin"};
};

// The page asks for a name; a request Google would refuse gets no page.
TEST_F(SignIn, TheDevelopmentPageOffersANameAndRefusesWhatGoogleWouldRefuse) {
    auto c = backendServer.client();
    const auto page = c.Get(backendServer.pageQuery());
    ASSERT_EQ(page->status, 200);
    EXPECT_THAT(page->body, HasSubstr("Sign in to Orvane on this computer"));
    EXPECT_THAT(page->body, HasSubstr("name=\"name\""));
    EXPECT_EQ(c.Get(backendServer.pageQuery("someone-else"))->status, 400);
    EXPECT_EQ(c.Get(backendServer.pageQuery({}, "https://evil.example/cb"))->status, 400);
    EXPECT_EQ(c.Get(backendServer.pageQuery({}, {}, "plain"))->status, 400);
}

TEST_F(SignIn, TheFullPkceFlowEndsWithBackendTokensAndAUser) {
    const auto reply = backendServer.signIn("Ada Lovelace");
    ASSERT_TRUE(reply.contains("accessToken")) << reply.dump();
    EXPECT_TRUE(reply["accessToken"].is_string());
    EXPECT_TRUE(reply["refreshToken"].is_string());
    EXPECT_EQ(reply["user"]["firstName"], "Ada");
    EXPECT_EQ(reply["user"]["email"], "ada.lovelace@dev.orvane.invalid");
    EXPECT_TRUE(reply["user"]["id"].is_string());
    // The same person again is the same user.
    EXPECT_EQ(backendServer.signIn("Ada Lovelace")["user"]["id"], reply["user"]["id"]);
    EXPECT_NE(backendServer.signIn("Grace Hopper")["user"]["id"], reply["user"]["id"]);
    // Refresh tokens are stored hashed only.
    EXPECT_EQ(backendServer.server->database().refreshTokenCount(), 3);
    EXPECT_THAT(backendServer.fileText("orvane.db"),
                Not(HasSubstr(reply["refreshToken"].get<std::string>())));
}

TEST_F(SignIn, AWrongVerifierAReusedCodeOrACancelSignsNobodyIn) {
    const auto verifier = base64::encodeUrl(backend::randomBytes(32));
    const auto approve = [&] {
        const auto redirect = backendServer.approve(BackendHarness::challengeFor(verifier), "Eve");
        EXPECT_EQ(redirect->status, 302);
        const auto location = redirect->get_header_value("Location");
        EXPECT_TRUE(location.starts_with(backendServer.redirectUri() + "?code=")) << location;
        return BackendHarness::codeIn(redirect);
    };
    const auto wrong = backendServer.redeem(approve(), base64::encodeUrl(backend::randomBytes(32)));
    EXPECT_EQ(wrong->status, 400);
    EXPECT_EQ(nlohmann::json::parse(wrong->body)["error"], "invalid_grant");

    const auto code = approve();
    EXPECT_EQ(backendServer.redeem(code, verifier)->status, 200);
    EXPECT_EQ(backendServer.redeem(code, verifier)->status, 400)
        << "a code is good for one exchange";
    // Cancelling on the page redirects with an error and no code.
    const auto redirect = backendServer.approve(BackendHarness::challengeFor("x"), "", "cancel");
    const auto location = redirect->get_header_value("Location");
    EXPECT_THAT(location, HasSubstr("error=access_denied"));
    EXPECT_THAT(location, Not(HasSubstr("code=")));
}

TEST_F(SignIn, TokensThatDoNotVerifyAndBodiesThatAreNoSignInAreRefused) {
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    auto expired = validClaims();
    expired["exp"] = now - 3600;
    auto otherAudience = validClaims();
    otherAudience["aud"] = "another-app.apps.googleusercontent.com";
    auto otherIssuer = validClaims();
    otherIssuer["iss"] = "https://accounts.example.com";
    const auto forger = backend::RsaKey::generate();
    const auto header = [](const nlohmann::json& h) { return base64::encodeUrl(h.dump()); };
    const auto unsignedToken = header({{"alg", "none"}, {"typ", "JWT"}}) + "." +
                               base64::encodeUrl(validClaims().dump()) + ".";
    const auto hmacToken = backend::jwt::signHs256(validClaims(), "guessable");

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"forged",
         backend::jwt::signRs256(validClaims(), forger, backend::DevIdentityProvider::keyId)},
        {"expired", devSigned(expired)},
        {"wrong audience", devSigned(otherAudience)},
        {"untrusted issuer", devSigned(otherIssuer)},
        {"alg none", unsignedToken},
        {"alg HS256", hmacToken},
        {"garbage", "not.a.jwt"},
    };
    for (const auto& [name, token] : cases) {
        const auto reply = exchange(token);
        EXPECT_EQ(reply->status, 401) << name;
        const auto body = nlohmann::json::parse(reply->body);
        EXPECT_TRUE(body["error"].is_string()) << name;
        EXPECT_TRUE(body["details"].is_string()) << name;
        EXPECT_FALSE(body.contains("accessToken")) << name;
    }
    const auto control = exchange(devSigned(validClaims()));
    EXPECT_EQ(control->status, 200) << control->body;

    // Bodies that are no sign-in at all are bad requests; Apple says it is not set up.
    auto c = backendServer.client();
    for (const char* body : {"", "{}", "[]", "{\"googleToken\":5}", "{\"googleToken\":\"\"}"}) {
        const auto reply = c.Post("/api/v1/auth/mobile/google", body, "application/json");
        EXPECT_EQ(reply->status, 400) << body;
        EXPECT_TRUE(nlohmann::json::parse(reply->body)["error"].is_string());
    }
    const auto apple =
        c.Post("/api/v1/auth/mobile/apple", R"({"token":"t","userId":"u"})", "application/json");
    EXPECT_EQ(nlohmann::json::parse(apple->body)["error"], "Apple sign-in is not configured");
}

TEST(SignInPersistence, ARestartLosesNoAccount) {
    BackendHarness backendServer("restart");
    backendServer.start();
    const auto first = backendServer.signIn("Linus");
    backendServer.restart();
    EXPECT_EQ(backendServer.chat(first["accessToken"], question("What is a B-tree?"))->status, 200)
        << "the token signed before the restart still holds";
    EXPECT_EQ(backendServer.signIn("Linus")["user"]["id"], first["user"]["id"]);
    EXPECT_EQ(backendServer.server->database().refreshTokenCount(), 2);
}

}  // namespace
}  // namespace orvane::testing
