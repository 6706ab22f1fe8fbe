// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "integration/LoopbackServer.h"
#include "integration/ProcessRun.h"
#include "session/SessionMessages.h"

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;

ProcessRun ask(const std::vector<std::string>& args) {
    std::string command = ORVANE_ASK_PATH;
    for (const auto& arg : args) command += " " + shellQuoted(arg);
    return runProcess(command);
}

TEST(OrvaneAsk, PrintsEachSessionEventAsAJsonLine) {
    LoopbackServer server([](LoopbackConnection& c) {
        c.write(eventStreamHead() + deltaEvent("Two ") + deltaEvent("pointers.") +
                std::string(kStopEvent));
    });
    const auto run = ask({"--api-base", server.origin(), "--token", "t0k", "--model", "nano", "How",
                          "do", "you", "find", "a", "cycle?"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::vector<nlohmann::json> expected = {{{"event", "state"}, {"state", "processing"}},
                                                  {{"event", "answer"}, {"text", ""}},
                                                  {{"event", "answer"}, {"text", "Two "}},
                                                  {{"event", "answer"}, {"text", "Two pointers."}},
                                                  {{"event", "recorded"},
                                                   {"question", "How do you find a cycle?"},
                                                   {"answer", "Two pointers."}},
                                                  {{"event", "answer"}, {"text", "Two pointers."}},
                                                  {{"event", "state"}, {"state", "idle"}}};
    EXPECT_EQ(run.events, expected) << run.output;
    const auto body = nlohmann::json::parse(server.requests().at(0).body);
    EXPECT_EQ(body["model"], "nano");
    EXPECT_EQ(server.requests()[0].headers.at("authorization"), "Bearer t0k");
}

TEST(OrvaneAsk, SendsContextAndImages) {
    LoopbackServer server([](LoopbackConnection& c) {
        c.write(eventStreamHead() + deltaEvent("[SKIP]") + std::string(kStopEvent));
    });
    const auto image = std::filesystem::temp_directory_path() / "orvane-ask-test.png";
    std::ofstream(image, std::ios::binary) << "\x89PNG";
    const auto run =
        ask({"--api-base", server.origin(), "--token", "t", "--context", "Company: Acme", "--image",
             image.string(), "--image", image.string(), "what is this"});
    std::filesystem::remove(image);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const auto body = nlohmann::json::parse(server.requests().at(0).body);
    EXPECT_EQ(body["systemContext"], "Company: Acme");
    EXPECT_EQ(body["messages"][0]["images"], nlohmann::json({"iVBORw==", "iVBORw=="}));
    for (const auto& event : run.events) EXPECT_NE(event["event"], "recorded");
}

TEST(OrvaneAsk, ReportsServerFailuresAndStillEnds) {
    LoopbackServer server([](LoopbackConnection& c) { c.write(statusReply(401, "nope")); });
    const auto run = ask({"--api-base", server.origin(), "--token", "expired", "hello there"});
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_FALSE(run.events.empty());
    EXPECT_NE(std::find(run.events.begin(), run.events.end(),
                        nlohmann::json{{"event", "error"}, {"message", messages::sessionExpired}}),
              run.events.end())
        << run.output;
    EXPECT_EQ(run.events.back()["state"], "idle");
}

TEST(OrvaneAsk, BadArgumentsExitWithUsage) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--token", "t"},                          // no question
             {"what", "is", "this"},                    // no token
             {"--token", "t", "--model", "huge", "q"},  // unknown model
             {"--token", "t", "--image", "/nonexistent.png", "q"},
             {"--token", "t", "--bogus", "q"},
             {"--token"}}) {
        const auto run = ask(args);
        EXPECT_EQ(run.exitCode, 2) << run.output;
        EXPECT_THAT(run.output, HasSubstr("Usage: orvane-ask"));
        EXPECT_TRUE(run.events.empty());
    }
    EXPECT_EQ(ask({"--help"}).exitCode, 0);
}

}  // namespace
}  // namespace orvane::testing
