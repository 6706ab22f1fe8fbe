// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <ctime>

#include "backend/BackendHarness.h"

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class ChatEndpoint : public ::testing::Test {
protected:
    void SetUp() override {
        backendServer.start();
        const auto reply = backendServer.signIn();
        token = reply["accessToken"];
        userId = std::stoll(reply["user"]["id"].get<std::string>());
    }
    std::string signedWithServerSecret(std::int64_t expiresIn) {
        auto secret = backendServer.fileText("secret.key");
        secret.erase(secret.find_last_not_of("\n") + 1);
        const auto now = static_cast<std::int64_t>(std::time(nullptr));
        return backend::jwt::signHs256({{"iss", "orvane-backend"},
                                        {"sub", std::to_string(userId)},
                                        {"typ", "access"},
                                        {"iat", now - 100},
                                        {"exp", now + expiresIn}},
                                       secret);
    }

    BackendHarness backendServer{"chat"};
    std::string token;
    std::int64_t userId = 0;
};

TEST_F(ChatEndpoint, AKnownQuestionIsAnsweredFromTheOfflineSetAsAnEventStream) {
    const auto reply = backendServer.chat(token, question("How does a hash map work?"));
    ASSERT_EQ(reply->status, 200);
    EXPECT_EQ(reply->get_header_value("Content-Type"), "text/event-stream");
    const auto events = eventsOf(reply->body);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.back()["type"], "message_stop");
    for (std::size_t i = 0; i + 1 < events.size(); ++i) {
        EXPECT_EQ(events[i]["type"], "content_block_delta");
        EXPECT_EQ(events[i]["delta"]["type"], "text_delta");
    }
    const auto answer = answerOf(events);
    EXPECT_TRUE(answer.starts_with("(Offline answer set) ")) << answer;
    EXPECT_THAT(answer, HasSubstr("bucket"));

    // Going deeper adds the questions next to it, of the same kind.
    auto asked = question("what is your greatest weakness");
    const auto brief = answerOf(eventsOf(backendServer.chat(token, asked)->body));
    EXPECT_THAT(brief, Not(HasSubstr("**Related:"))) << "brief unless asked otherwise";
    asked["answerStyle"] = "detailed";
    const auto deeper = answerOf(eventsOf(backendServer.chat(token, asked)->body));
    EXPECT_TRUE(deeper.starts_with(brief)) << deeper;
    EXPECT_THAT(deeper, HasSubstr("**Related: What is your greatest strength?**"));
}

// Spoken questions come without punctuation; what is no question, or none the set knows, is
// skipped.
TEST_F(ChatEndpoint, SpokenQuestionsFindTheirAnswersAndTheRestIsSkipped) {
    for (const auto& [utterance, expected] : std::vector<std::pair<std::string, std::string>>{
             {"so tell me about yourself", "60-second"},
             {"how would you design a rate limiter", "token bucket"},
             {"what is the difference between sql and nosql databases", "relational"},
             {"can you explain the javascript event loop", "microtask"},
             {"how do you detect a cycle in a linked list", "tortoise"},
             {"what is docker", "image"},
             {"thanks that was great", "[SKIP]"},
             {"okay let's move on", "[SKIP]"},
             {"Hello", "[SKIP]"},
             {"what is the capital of peru", "[SKIP]"},
             {"um so yeah", "[SKIP]"}}) {
        const auto events = eventsOf(backendServer.chat(token, question(utterance))->body);
        const auto answer = answerOf(events);
        const bool answered =
            expected == "[SKIP]" ? answer == expected : answer.find(expected) != std::string::npos;
        EXPECT_TRUE(answered) << utterance << " -> " << answer;
        EXPECT_EQ(events.back()["type"], "message_stop") << utterance;
    }
}

TEST_F(ChatEndpoint, TheLatestUserTurnIsTheOneAnswered) {
    nlohmann::json body = {
        {"model", "nano"},
        {"systemContext", "Company: Acme\nRole: Backend engineer"},
        {"messages",
         {{{"role", "user"}, {"content", "what is a heap"}},
          {{"role", "assistant"}, {"content", "A tree."}},
          {{"role", "user"}, {"content", "what is a trie"}, {"images", {"iVBORw=="}}}}}};
    const auto answer = answerOf(eventsOf(backendServer.chat(token, body)->body));
    EXPECT_THAT(answer, HasSubstr("prefix"));
}

TEST_F(ChatEndpoint, MissingMalformedForgedOrExpiredTokensAreUnauthorized) {
    auto c = backendServer.client();
    EXPECT_EQ(c.Post("/api/v1/ai/chat", question("q").dump(), "application/json")->status, 401);
    const auto withHeader = [&](const std::string& value) {
        return c
            .Post("/api/v1/ai/chat", {{"Authorization", value}}, question("q").dump(),
                  "application/json")
            ->status;
    };
    EXPECT_EQ(withHeader("Basic abc"), 401);
    EXPECT_EQ(withHeader("Bearer "), 401);
    EXPECT_EQ(withHeader("Bearer not-a-token"), 401);
    EXPECT_EQ(withHeader("Bearer " + backend::jwt::signHs256({{"sub", "1"}}, "wrong secret")), 401);
    EXPECT_EQ(withHeader("Bearer " + signedWithServerSecret(-10)), 401) << "expired";
    EXPECT_EQ(withHeader("Bearer " + signedWithServerSecret(600)), 200) << "control";
    const auto body = nlohmann::json::parse(
        c.Post("/api/v1/ai/chat", question("q").dump(), "application/json")->body);
    EXPECT_TRUE(body["error"].is_string());
}

TEST_F(ChatEndpoint, ARefusedBodyIsNeverReadAsTheNextRequest) {
    // A client whose access token ran out renews it and asks again on the same connection. The
    // question it first sent, long enough to outlast what the server reads with the headers,
    // must not be taken for the retry's request line.
    auto body = question("How does a hash map work?");
    body["system"] = std::string(64 * 1024, 'w');
    auto c = backendServer.client();
    c.set_keep_alive(true);
    const auto expired =
        c.Post("/api/v1/ai/chat", {{"Authorization", "Bearer " + signedWithServerSecret(-10)}},
               body.dump(), "application/json");
    ASSERT_TRUE(expired);
    EXPECT_EQ(expired->status, 401);
    const auto retried = c.Post("/api/v1/ai/chat", {{"Authorization", "Bearer " + token}},
                                body.dump(), "application/json");
    ASSERT_TRUE(retried) << httplib::to_string(retried.error());
    EXPECT_EQ(retried->status, 200) << retried->body;
}

TEST_F(ChatEndpoint, MalformedBodiesAreBadRequestsWithAReason) {
    const std::vector<std::string> bodies = {
        "not json",
        "[]",
        R"({"messages":[{"role":"user","content":"q"}]})",
        R"({"model":"huge","messages":[{"role":"user","content":"q"}]})",
        R"({"model":"mini"})",
        R"({"model":"mini","messages":[]})",
        R"({"model":"mini","messages":[{"role":"system","content":"q"}]})",
        R"({"model":"mini","messages":[{"role":"user","content":5}]})",
        R"({"model":"mini","messages":[{"role":"assistant","content":"only me"}]})",
        R"({"model":"mini","messages":[{"role":"user","content":"q","images":"x"}]})",
        R"({"model":"mini","messages":[{"role":"user","content":"q","images":["not base64!"]}]})",
        R"({"model":"mini","messages":[{"role":"user","content":"q"}],"systemContext":7})",
        R"({"model":"mini","messages":[{"role":"user","content":"q"}],"answerStyle":"poem"})",
    };
    auto c = backendServer.client();
    for (const auto& body : bodies) {
        const auto reply = c.Post("/api/v1/ai/chat", {{"Authorization", "Bearer " + token}}, body,
                                  "application/json");
        EXPECT_EQ(reply->status, 400) << body;
        const auto json = nlohmann::json::parse(reply->body);
        EXPECT_TRUE(json["details"].is_string()) << body;
    }
}

TEST(ChatLimits, OversizedBodiesRateLimitsAndDisabledAccounts) {
    BackendHarness backendServer("limits");
    backendServer.config.maxBodyBytes = 4096;
    backendServer.config.rateLimitPerMinute = 3;
    backendServer.start();
    const auto reply = backendServer.signIn();
    const std::string token = reply["accessToken"];

    auto huge = question(std::string(8000, 'x'));
    EXPECT_EQ(backendServer.chat(token, huge)->status, 413);

    int accepted = 0, limited = 0;
    for (int i = 0; i < 5; ++i) {
        const auto status = backendServer.chat(token, question("what is a heap"))->status;
        accepted += status == 200;
        limited += status == 429;
    }
    EXPECT_EQ(accepted, 3) << "a request refused for its size costs nothing";
    EXPECT_EQ(limited, 2);

    // One answer at a time for this user: a second while the first streams is told to wait.
    backendServer.server.reset();
    backendServer.config.rateLimitPerMinute = 0;
    backendServer.config.maxStreamsPerUser = 1;
    backendServer.config.offlinePaceMs = 20;
    backendServer.restart();
    std::thread first([&] { backendServer.chat(token, question("what is a heap")); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto second = backendServer.chat(token, question("what is a heap"));
    first.join();
    EXPECT_EQ(second->status, 429);
    EXPECT_EQ(nlohmann::json::parse(second->body)["error"], "Too many answers at once");

    const auto id = std::stoll(reply["user"]["id"].get<std::string>());
    backendServer.server->database().setDisabled(id, true);
    EXPECT_EQ(backendServer.chat(token, question("what is a heap"))->status, 403);
    const auto again = backendServer.client().Post(
        "/api/v1/auth/mobile/google",
        nlohmann::json{{"googleToken", backendServer.devIdToken()}}.dump(), "application/json");
    EXPECT_EQ(again->status, 403) << "a disabled account cannot sign in either";
}

TEST_F(ChatEndpoint, TheLogHasOneLinePerRequestAndNoSecrets) {
    backendServer.chat(token, question("What is a closure in JavaScript?"));
    // A request is logged once its reply has gone out; stopping waits for that.
    backendServer.server->stop();
    const auto log = backendServer.log.str();
    EXPECT_THAT(log, HasSubstr("POST /api/v1/ai/chat 200 "));
    EXPECT_THAT(log, HasSubstr("user=" + std::to_string(userId)));
    EXPECT_THAT(log, HasSubstr("POST /dev/token 200"));
    EXPECT_THAT(log, Not(HasSubstr(token)));
    EXPECT_THAT(log, Not(HasSubstr("closure")));
    EXPECT_THAT(log, Not(HasSubstr("code=")));
}

}  // namespace
}  // namespace orvane::testing
