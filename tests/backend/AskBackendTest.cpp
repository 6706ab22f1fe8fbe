// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdio>

#include "backend/BackendHarness.h"
#include "integration/ProcessRun.h"

namespace orvane::testing {
namespace {

// The app's own question path (orvane-ask) against the reference backend, signed in through the
// development identity provider.
TEST(AskBackend, AQuestionIsAnsweredAndRecordedEndToEnd) {
    BackendHarness backendServer("ask");
    backendServer.start();
    const std::string token = backendServer.signIn()["accessToken"];
    const std::string command = std::string(ORVANE_ASK_PATH) + " --api-base " +
                                backendServer.origin() + " --token " + token +
                                " what is the difference between a process and a thread";
    const auto run = runProcess(command);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    const auto& events = run.events;

    const auto recorded = std::find_if(events.begin(), events.end(),
                                       [](const auto& e) { return e["event"] == "recorded"; });
    ASSERT_NE(recorded, events.end());
    EXPECT_EQ((*recorded)["question"], "what is the difference between a process and a thread");
    EXPECT_NE((*recorded)["answer"].get<std::string>().find("address space"), std::string::npos);
    EXPECT_EQ(events.back(), (nlohmann::json{{"event", "state"}, {"state", "idle"}}));
    EXPECT_GT(std::count_if(events.begin(), events.end(),
                            [](const auto& e) { return e["event"] == "answer"; }),
              10)
        << "the answer grew word by word";
}

}  // namespace
}  // namespace orvane::testing
