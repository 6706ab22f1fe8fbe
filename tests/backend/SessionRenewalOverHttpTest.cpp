// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "backend/BackendHarness.h"
#include "integration/LiveSession.h"

namespace orvane::testing {
namespace {

// Access tokens outlive a question but not an interview: a question asked after the token has
// run out is answered all the same, through the backend's refresh route.
TEST(SessionRenewalOverHttp, AQuestionAfterTheAccessTokenExpiredIsAnswered) {
    BackendHarness backendServer("renewal");
    backendServer.config.accessTokenLifetime = 2;
    backendServer.start();
    const auto signedIn = backendServer.signIn("Ada Lovelace");

    LiveSession live(backendServer.origin());
    live.auth.setAccessToken(signedIn["accessToken"].get<std::string>());
    live.auth.setRefreshToken(signedIn["refreshToken"].get<std::string>());
    ASSERT_TRUE(live.ask("what is the difference between a process and a thread"));
    ASSERT_EQ(live.session->history().count(), 1);

    live.mainQueue.runUntil([] { return false; }, 3.0);
    ASSERT_TRUE(live.ask("what is the CAP theorem"));
    EXPECT_TRUE(live.errors.empty()) << live.errors.front();
    ASSERT_EQ(live.session->history().count(), 2);
    EXPECT_EQ(live.session->history().pairs()[0].question,
              "what is the difference between a process and a thread");
    EXPECT_FALSE(live.session->history().pairs()[1].answer.empty());
    EXPECT_NE(live.auth.accessToken(), signedIn["accessToken"].get<std::string>());
    EXPECT_NE(live.auth.refreshToken(), signedIn["refreshToken"].get<std::string>());
    backendServer.server->stop();  // its workers write the log lines after their replies
    EXPECT_NE(backendServer.log.str().find("POST /api/v1/auth/refresh 200"), std::string::npos);
}

}  // namespace
}  // namespace orvane::testing
