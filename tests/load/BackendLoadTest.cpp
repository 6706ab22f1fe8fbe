// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// 200 chat streams at once against an orvane-backend process on loopback (offline provider, no
// pacing): every stream must arrive whole. Prints time to first event and the server's peak RSS.

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <barrier>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "backend/BackendHarness.h"
#include "backend/BackendProcess.h"

namespace orvane::testing {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kStreams = 200;

TEST(BackendLoad, TwoHundredConcurrentStreamsAllArriveWhole) {
    BackendProcess backendProcess("load",
                                  {"--rate-limit", "0", "--threads", "256", "--max-streams", "256",
                                   "--max-streams-per-user", "256", "--dev-identity-provider"});
    BackendHarness signIn("load-signin");
    backendProcess.attach(signIn);
    const std::string token = signIn.signIn()["accessToken"];

    const std::vector<std::string> questions = {
        "how does a hash map work", "what is the cap theorem", "tell me about yourself",
        "design a url shortener", "what is a closure in javascript"};
    std::vector<double> firstEventMs(kStreams, -1);
    std::vector<std::string> bodies(kStreams);
    std::vector<int> statuses(kStreams, 0);
    std::barrier start(kStreams);
    std::vector<std::thread> clients;
    for (int i = 0; i < kStreams; ++i) {
        clients.emplace_back([&, i] {
            httplib::Client client("127.0.0.1", backendProcess.port());
            client.set_read_timeout(60);
            httplib::Request request;
            request.method = "POST";
            request.path = "/api/v1/ai/chat";
            request.headers = {{"Authorization", "Bearer " + token}};
            request.body = question(questions[i % questions.size()]).dump();
            request.set_header("Content-Type", "application/json");
            Clock::time_point sent;
            request.response_handler = [&, i](const httplib::Response& response) {
                statuses[i] = response.status;
                return true;
            };
            request.content_receiver = [&, i](const char* data, std::size_t length, std::uint64_t,
                                              std::uint64_t) {
                if (firstEventMs[i] < 0) {
                    firstEventMs[i] =
                        std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
                }
                bodies[i].append(data, length);
                return true;
            };
            start.arrive_and_wait();
            sent = Clock::now();
            const auto result = client.send(request);
            if (!result) statuses[i] = -static_cast<int>(result.error());
        });
    }
    for (auto& client : clients) client.join();

    int complete = 0;
    for (int i = 0; i < kStreams; ++i) {
        const auto events = eventsOf(bodies[i]);
        const bool whole = statuses[i] == 200 && !events.empty() &&
                           events.back()["type"] == "message_stop" &&
                           answerOf(events).starts_with("(Offline answer set)");
        complete += whole;
        if (!whole && complete + 3 > i) {
            std::printf("stream %d: status %d, %zu bytes: %.120s\n", i, statuses[i],
                        bodies[i].size(), bodies[i].c_str());
        }
    }
    EXPECT_EQ(complete, kStreams);

    std::sort(firstEventMs.begin(), firstEventMs.end());
    const auto at = [&](double q) {
        return firstEventMs[static_cast<std::size_t>(q * (kStreams - 1))];
    };
    std::printf("streams %d complete %d  first event p50 %.1f ms  p99 %.1f ms  peak RSS %ld KiB\n",
                kStreams, complete, at(0.5), at(0.99), backendProcess.peakRssKilobytes());
}

}  // namespace
}  // namespace orvane::testing
