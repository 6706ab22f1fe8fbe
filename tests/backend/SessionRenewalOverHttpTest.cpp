// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "backend/BackendHarness.h"
#include "integration/LiveSession.h"
#include "integration/LoopbackServer.h"

namespace orvane::testing {
namespace {

// Access tokens outlive a question but not an interview: a question asked after its token ran out
// is answered through the refresh route, even when the first renewal's reply is lost after the
// backend used the token up (the connection closes before the body): the app tries the same token
// again, and the backend hands it the same new pair within its reuse grace.
TEST(SessionRenewalOverHttp, ARenewalWhoseReplyWasLostStillAnswersTheQuestion) {
    BackendHarness backendServer("lost-renewal");
    // Long enough that the renewed token outlives the question even on a loaded machine: lifetimes
    // count whole seconds, so a 2 s token could live barely more than one.
    backendServer.config.accessTokenLifetime = 4;
    backendServer.start();
    const auto signedIn = backendServer.signIn();
    std::atomic<int> refreshes = 0;
    LoopbackServer proxy([&](LoopbackConnection& connection) {
        const auto& request = connection.request();
        httplib::Headers headers;
        if (const auto auth = request.headers.find("authorization"); auth != request.headers.end())
            headers.emplace("Authorization", auth->second);
        const auto reply =
            backendServer.client().Post(request.target, headers, request.body, "application/json");
        if (request.target == "/api/v1/auth/refresh" && ++refreshes == 1) {
            connection.write("HTTP/1.1 200 OK\r\nContent-Length: 4000\r\n\r\n");
            connection.reset();
            return;
        }
        connection.write("HTTP/1.1 " + std::to_string(reply->status) +
                         " Proxied\r\nContent-Type: " + reply->get_header_value("Content-Type") +
                         "\r\nConnection: close\r\nContent-Length: " +
                         std::to_string(reply->body.size()) + "\r\n\r\n" + reply->body);
    });

    LiveSession live(proxy.origin());
    live.auth.setAccessToken(signedIn["accessToken"].get<std::string>());
    live.auth.setRefreshToken(signedIn["refreshToken"].get<std::string>());
    live.mainQueue.runUntil([] { return false; }, 4.5);
    ASSERT_TRUE(live.ask("what is the CAP theorem"));
    EXPECT_TRUE(live.errors.empty()) << live.errors.front();
    EXPECT_EQ(refreshes.load(), 2);
    ASSERT_EQ(live.session->history().count(), 1);
    EXPECT_FALSE(live.session->history().pairs()[0].answer.empty());
    EXPECT_NE(live.auth.accessToken(), signedIn["accessToken"].get<std::string>());
    EXPECT_NE(live.auth.refreshToken(), signedIn["refreshToken"].get<std::string>());
}

}  // namespace
}  // namespace orvane::testing
