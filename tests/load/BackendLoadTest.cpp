// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// orvane-backend processes on loopback under a crowd of streams at once. Each test prints the time
// to the first byte and the server's peak memory.

#include <gtest/gtest.h>

#include <cstdio>

#include "backend/BackendProcess.h"
#include "load/Crowd.h"

namespace orvane::testing {
namespace {

// With room for everyone, every stream arrives whole.
TEST(BackendLoad, TwoHundredConcurrentStreamsAllArriveWhole) {
    constexpr int kStreams = 200;
    BackendProcess server("load", {"--rate-limit", "0", "--threads", "256", "--max-streams", "256",
                                   "--max-streams-per-user", "256", "--dev-identity-provider"});
    BackendHarness harness("load-signin");
    server.attach(harness);
    const std::vector<std::string> questions = {
        "how does a hash map work", "what is the cap theorem", "tell me about yourself",
        "design a url shortener", "what is a closure in javascript"};
    const auto crowd = Crowd::ask({server.port()}, {harness.signIn()["accessToken"]}, kStreams,
                                  [&](int i) { return question(questions[i % questions.size()]); });
    int complete = 0;
    for (const auto& reply : crowd.replies) {
        complete += Crowd::whole(reply) &&
                    answerOf(eventsOf(reply.body)).starts_with("(Offline answer set)");
    }
    EXPECT_EQ(complete, kStreams);
    std::printf("streams %d complete %d  first byte p50 %.1f ms  p99 %.1f ms  peak RSS %ld KiB\n",
                kStreams, complete, crowd.firstByteQuantile(0.5), crowd.firstByteQuantile(0.99),
                server.peakRssKilobytes());
}

// Every stream holds a worker while it runs: a crowd larger than the caps gets answers or a clear
// "not now", never a hung or broken connection, and the caps let as many through as they allow.
TEST(BackendLoad, AThousandStreamsFromFiftyUsersAllGetAWellFormedReply) {
    constexpr int kUsers = 50, kStreams = 1000, kTotal = 48;  // 3/4 of the default 64 workers
    BackendProcess server("hostile-load", {"--dev-identity-provider", "--sign-in-rate-limit", "0",
                                           "--rate-limit", "0", "--offline-pace", "20"});
    BackendHarness harness("hostile-load-client");
    server.attach(harness);
    std::vector<std::string> tokens;
    for (int i = 0; i < kUsers; ++i) {
        tokens.push_back(harness.signIn("User " + std::to_string(i))["accessToken"]);
    }
    const auto crowd = Crowd::ask({server.port()}, tokens, kStreams,
                                  [](int) { return question("What is consistent hashing?"); });
    int answered = 0, refused = 0;
    for (const auto& reply : crowd.replies) {
        if (reply.status == 200) {
            EXPECT_TRUE(Crowd::whole(reply)) << reply.body;
            ++answered;
        } else {
            ASSERT_EQ(reply.status, 429) << reply.body;
            const auto error = nlohmann::json::parse(reply.body)["error"];
            EXPECT_EQ(error, "Too many answers at once");
            ++refused;
        }
    }
    std::printf(
        "%d streams from %d users: %d answered, %d told to wait; first byte p50 %.1f ms, "
        "p99 %.1f ms; peak RSS %ld KiB\n",
        kStreams, kUsers, answered, refused, crowd.firstByteQuantile(0.5),
        crowd.firstByteQuantile(0.99), server.peakRssKilobytes());
    // Answers take a second at this pace and all start together: the server's room is used.
    EXPECT_GE(answered, kTotal);
    EXPECT_EQ(answered + refused, kStreams);
}

}  // namespace
}  // namespace orvane::testing
