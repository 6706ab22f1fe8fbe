// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "backend/BackendHarness.h"

namespace orvane::testing {
namespace {

class RefreshToken : public ::testing::Test {
protected:
    httplib::Result refresh(const std::string& token) {
        return backendServer.client().Post("/api/v1/auth/refresh",
                                           nlohmann::json{{"refreshToken", token}}.dump(),
                                           "application/json");
    }
    static nlohmann::json bodyOf(const httplib::Result& reply) {
        return nlohmann::json::parse(reply->body);
    }

    BackendHarness backendServer{"refresh"};
};

TEST_F(RefreshToken, AnExpiredAccessTokenIsRenewedWithoutSigningInAgain) {
    // Expiry is counted in whole seconds, so a lifetime of L lasts between L - 1 and L seconds:
    // three leaves the renewed token two at least, however slow the machine.
    backendServer.config.accessTokenLifetime = 3;
    backendServer.start();
    const auto signedIn = backendServer.signIn();
    std::this_thread::sleep_for(std::chrono::milliseconds(3100));
    EXPECT_EQ(backendServer.chat(signedIn["accessToken"], question("What is a heap?"))->status,
              401);
    const auto reply = refresh(signedIn["refreshToken"]);
    ASSERT_EQ(reply->status, 200) << reply->body;
    const auto renewed = bodyOf(reply);
    EXPECT_NE(renewed["accessToken"], signedIn["accessToken"]);
    EXPECT_NE(renewed["refreshToken"], signedIn["refreshToken"]);
    EXPECT_EQ(renewed["user"], signedIn["user"]) << "a refresh answers like a sign-in";
    EXPECT_EQ(backendServer.chat(renewed["accessToken"], question("What is a heap?"))->status, 200);
}

// Several renewals with one token at once: a retry racing a reply that was only slow, or two
// attempts of which the first reply was lost.
std::vector<nlohmann::json> refreshAtOnce(BackendHarness& backendServer, const std::string& token) {
    std::vector<nlohmann::json> replies(8);
    std::vector<std::thread> clients;
    for (auto& reply : replies) {
        clients.emplace_back([&backendServer, &reply, token] {
            const auto result = backendServer.client().Post(
                "/api/v1/auth/refresh", nlohmann::json{{"refreshToken", token}}.dump(),
                "application/json");
            reply = {{"status", result->status}, {"body", nlohmann::json::parse(result->body)}};
        });
    }
    for (auto& client : clients) client.join();
    return replies;
}

TEST_F(RefreshToken, ATokenPresentedAgainWithinTheGraceGetsTheSamePair) {
    backendServer.start();
    const auto signedIn = backendServer.signIn();
    const auto replies = refreshAtOnce(backendServer, signedIn["refreshToken"]);
    for (const auto& reply : replies) {
        ASSERT_EQ(reply["status"], 200) << reply;
        EXPECT_EQ(reply["body"]["refreshToken"], replies[0]["body"]["refreshToken"]);
        EXPECT_EQ(reply["body"]["accessToken"], replies[0]["body"]["accessToken"]);
    }
    const auto next = refresh(replies[0]["body"]["refreshToken"]);
    EXPECT_EQ(next->status, 200) << "the one successor goes on";
    EXPECT_EQ(backendServer.server->database().refreshTokenCount(), 3);
}

TEST_F(RefreshToken, AUsedTokenIsRefusedAndRevokesEveryTokenOfItsSignIn) {
    backendServer.config.refreshReuseGrace = 0;
    backendServer.start();
    const auto signedIn = backendServer.signIn();
    const auto first = bodyOf(refresh(signedIn["refreshToken"]));
    // Somebody replays the token that was traded in: neither they nor the owner may go on.
    const auto replay = refresh(signedIn["refreshToken"]);
    EXPECT_EQ(replay->status, 401);
    EXPECT_EQ(bodyOf(replay)["error"], "Invalid refresh token");
    const auto owner = refresh(first["refreshToken"]);
    EXPECT_EQ(owner->status, 401) << "the newer token went with the family";
    for (const auto& token : {signedIn["accessToken"], first["accessToken"]}) {
        EXPECT_EQ(backendServer.chat(token, question("what is a heap"))->status, 401)
            << "and so did its access tokens, before they expire";
    }

    // At once, one presentation wins and the others revoke the family, the winner's new token
    // included.
    const auto raced = backendServer.signIn();
    const auto replies = refreshAtOnce(backendServer, raced["refreshToken"]);
    const auto winner = std::find_if(replies.begin(), replies.end(),
                                     [](const auto& reply) { return reply["status"] == 200; });
    ASSERT_NE(winner, replies.end());
    EXPECT_EQ(std::count_if(replies.begin(), replies.end(),
                            [](const auto& reply) { return reply["status"] == 401; }),
              7);
    EXPECT_EQ(refresh((*winner)["body"]["refreshToken"])->status, 401);

    // Another sign-in of the same person is a family of its own and unaffected.
    const auto other = backendServer.signIn();
    EXPECT_EQ(refresh(other["refreshToken"])->status, 200);
}

TEST_F(RefreshToken, UnknownMalformedAndAccessTokensAreRefused) {
    backendServer.start();
    const auto signedIn = backendServer.signIn();
    EXPECT_EQ(refresh("not-a-token")->status, 401);
    EXPECT_EQ(refresh(signedIn["accessToken"])->status, 401) << "an access token is not one";
    auto c = backendServer.client();
    for (const char* body : {"", "{}", "[]", "{\"refreshToken\":7}", "{\"refreshToken\":\"\"}"}) {
        const auto reply = c.Post("/api/v1/auth/refresh", body, "application/json");
        EXPECT_EQ(reply->status, 400) << body;
        EXPECT_TRUE(bodyOf(reply)["error"].is_string()) << body;
    }
}

TEST_F(RefreshToken, ADisabledAccountCannotRefresh) {
    backendServer.start();
    const auto signedIn = backendServer.signIn();
    backendServer.server->database().setDisabled(
        std::stoll(signedIn["user"]["id"].get<std::string>()), true);
    const auto reply = refresh(signedIn["refreshToken"]);
    EXPECT_EQ(reply->status, 403);
    EXPECT_EQ(bodyOf(reply)["error"], "Account disabled");
    EXPECT_FALSE(bodyOf(reply).contains("accessToken"));
}

TEST_F(RefreshToken, ExpiredRowsArePrunedAndExpiredTokensRefused) {
    backendServer.config.refreshTokenLifetime = 60;
    backendServer.start();
    const auto old = backendServer.signIn();
    backendServer.signIn();
    ASSERT_EQ(backendServer.server->database().refreshTokenCount(), 2);
    backendServer.server.reset();

    // A minute and more passes: the tokens on disk are now past their time.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((backendServer.dataDir / "orvane.db").c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "UPDATE refresh_tokens SET expires_at = expires_at - 120", nullptr, nullptr,
                 nullptr);
    sqlite3_close(db);
    backendServer.restart();

    EXPECT_EQ(refresh(old["refreshToken"])->status, 401);
    backendServer.signIn();
    EXPECT_EQ(backendServer.server->database().refreshTokenCount(), 1)
        << "a new token's arrival sweeps out the expired ones";
}

TEST(RefreshTokenConfig, LifetimesDefaultShortAndLongAndAreFlags) {
    const auto defaults = std::get<backend::BackendConfig>(
        backend::BackendConfig::parse({"--data", "/tmp/orvane-unused"}, {}));
    EXPECT_EQ(defaults.accessTokenLifetime, 15 * 60);
    EXPECT_EQ(defaults.refreshTokenLifetime, 30 * 24 * 3600);
    EXPECT_EQ(defaults.refreshReuseGrace, 30);
    const auto set = std::get<backend::BackendConfig>(
        backend::BackendConfig::parse({"--data", "/tmp/orvane-unused", "--access-token-ttl", "2",
                                       "--refresh-token-ttl", "600", "--refresh-reuse-grace", "0"},
                                      {}));
    EXPECT_EQ(set.accessTokenLifetime, 2);
    EXPECT_EQ(set.refreshTokenLifetime, 600);
    EXPECT_EQ(set.refreshReuseGrace, 0);
}

}  // namespace
}  // namespace orvane::testing
