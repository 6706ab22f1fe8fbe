// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "adapters/curl/CurlHttpClient.h"
#include "adapters/std/RunLoop.h"
#include "backend/BackendHarness.h"
#include "integration/FreePort.h"
#include "integration/LoopbackServer.h"
#include "integration/ProcessRun.h"
#include "session/ProviderCheck.h"

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;

std::string sse(const nlohmann::json& event, const char* name = nullptr) {
    return (name ? std::string("event: ") + name + "\n" : std::string()) + "data: " + event.dump() +
           "\n\n";
}

nlohmann::json visionQuestion() {
    return {{"model", "vision"},
            {"systemContext", "Role: SRE"},
            {"answerStyle", "story"},
            {"messages",
             {{{"role", "assistant"}, {"content", "left over from a trimmed history"}},
              {{"role", "user"}, {"content", "what is on my screen"}, {"images", {"iVBORw=="}}}}}};
}

struct RelayCase : ::testing::Test {
    void startBackend(const std::string& provider, const std::string& upstreamOrigin) {
        backendServer.config.tiers["vision"] = {provider, "upstream-model-x"};
        backendServer.config.anthropicUrl = upstreamOrigin;
        backendServer.config.anthropicKey = "sk-test-anthropic";
        backendServer.config.openaiUrl = upstreamOrigin + "/v1";
        backendServer.config.openaiKey = "sk-test-openai";
        backendServer.start();
        token = backendServer.signIn()["accessToken"];
    }
    BackendHarness backendServer{"relay"};
    std::string token;
};

TEST_F(RelayCase, AnthropicTextDeltasPassThroughAndOtherEventsAreDropped) {
    LoopbackServer upstream([](LoopbackConnection& c) {
        c.write(eventStreamHead());
        c.write(sse({{"type", "message_start"}, {"message", {{"id", "m1"}}}}, "message_start"));
        c.write(sse({{"type", "content_block_start"}, {"index", 0}}, "content_block_start"));
        c.write(sse({{"type", "ping"}}, "ping"));
        c.write(sse({{"type", "content_block_delta"},
                     {"index", 0},
                     {"delta", {{"type", "text_delta"}, {"text", "A terminal "}}}}));
        c.write(sse({{"type", "content_block_delta"},
                     {"index", 0},
                     {"delta", {{"type", "text_delta"}, {"text", "window."}}}}));
        c.write(sse({{"type", "message_delta"}, {"delta", {{"stop_reason", "end_turn"}}}}));
        c.write(sse({{"type", "message_stop"}}));
    });
    startBackend("anthropic", upstream.origin());
    const auto reply = backendServer.chat(token, visionQuestion());
    ASSERT_EQ(reply->status, 200);
    const auto events = eventsOf(reply->body);
    ASSERT_EQ(events.size(), 3u) << reply->body;
    EXPECT_EQ(answerOf(events), "A terminal window.");
    EXPECT_EQ(events.back()["type"], "message_stop");

    const auto sent = upstream.requests().at(0);
    EXPECT_EQ(sent.target, "/v1/messages");
    EXPECT_EQ(sent.headers.at("x-api-key"), "sk-test-anthropic");
    EXPECT_EQ(sent.headers.at("anthropic-version"), "2023-06-01");
    const auto body = nlohmann::json::parse(sent.body);
    EXPECT_EQ(body["model"], "upstream-model-x");
    EXPECT_EQ(body["stream"], true);
    EXPECT_THAT(body["system"].get<std::string>(), HasSubstr("[SKIP]"));
    EXPECT_THAT(body["system"].get<std::string>(), HasSubstr("Role: SRE"));
    EXPECT_THAT(body["system"].get<std::string>(), HasSubstr("STAR")) << "the style";
    ASSERT_EQ(body["messages"].size(), 1u) << "the conversation opens with the user";
    const auto& content = body["messages"][0]["content"];
    EXPECT_EQ(content[0]["type"], "image");
    EXPECT_EQ(content[0]["source"]["media_type"], "image/png");
    EXPECT_EQ(content[0]["source"]["data"], "iVBORw==");
    EXPECT_EQ(content[1]["text"], "what is on my screen");
}

// An upstream that dies mid-stream, stops early or is not there: what came is kept, then an error.
TEST_F(RelayCase, AnUpstreamThatDiesStopsEarlyOrIsNotThereEndsInAnErrorEvent) {
    LoopbackServer dying([](LoopbackConnection& c) {
        c.write(eventStreamHead());
        c.write(sse({{"type", "content_block_delta"},
                     {"delta", {{"type", "text_delta"}, {"text", "Half"}}}}));
        c.reset();
    });
    LoopbackServer early([](LoopbackConnection& c) {
        c.write(eventStreamHead());
        c.write("data: {\"choices\":[{\"delta\":{\"content\":\"Par\"}}]}\n\n");
    });
    const RefusingLoopbackPort nothingThere;
    for (const auto& [provider, origin, kept] : {std::tuple{"anthropic", dying.origin(), "Half"},
                                                 std::tuple{"openai", early.origin(), "Par"},
                                                 std::tuple{"openai", nothingThere.origin(), ""}}) {
        BackendHarness backend{"relay-broken"};
        backend.config.tiers["vision"] = {provider, "upstream-model-x"};
        backend.config.anthropicUrl = origin;
        backend.config.anthropicKey = backend.config.openaiKey = "sk-test";
        backend.config.openaiUrl = origin + "/v1";
        backend.start();
        const auto events =
            eventsOf(backend.chat(backend.signIn()["accessToken"], visionQuestion())->body);
        ASSERT_FALSE(events.empty()) << origin;
        EXPECT_EQ(answerOf(events), kept);
        EXPECT_EQ(events.back()["type"], "error");
        EXPECT_TRUE(events.back()["error"]["message"].is_string());
    }
}

// An upstream that sends a hundred deltas of 900 KB is cut at the cap and hung up on; the client
// gets the answer to the cap and the reason, which it keeps as cut short.
TEST_F(RelayCase, AnAnswerStopsAtTheCapAndTheUpstreamIsLetGo) {
    std::atomic<std::size_t> sent{0};
    LoopbackServer upstream([&](LoopbackConnection& c) {
        c.write(eventStreamHead());
        const auto delta =
            sse({{"type", "content_block_delta"},
                 {"delta", {{"type", "text_delta"}, {"text", std::string(900000, 'x')}}}});
        for (int i = 0; i < 100 && c.write(delta); ++i) sent += delta.size();
    });
    startBackend("anthropic", upstream.origin());
    const auto events = eventsOf(backendServer.chat(token, visionQuestion())->body);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(answerOf(events), std::string(chat::maxAnswerBytes, 'x'));
    EXPECT_EQ(events.back()["type"], "error");
    EXPECT_LT(sent.load(), 30u * 900000) << "the upstream was let go";
}

// What a provider says when it fails can carry organisation ids, limits or gateway internals: the
// user is told in words of our own, by the provider's documented statuses and error types, and
// the provider's own text goes to the server's log only.
struct ProviderFailure {
    const char* provider;
    int status;  // 200: the error comes inside the stream
    const char* body;
    const char* said;
};

class ProviderFailures : public RelayCase, public ::testing::WithParamInterface<ProviderFailure> {};

TEST_P(ProviderFailures, AreToldInOurOwnWordsAndLoggedAsTheyCame) {
    const auto& failure = GetParam();
    LoopbackServer upstream([&failure](LoopbackConnection& c) {
        if (failure.status != 200) {
            c.write(statusReply(failure.status, failure.body));
            return;
        }
        c.write(eventStreamHead());
        c.write(std::string("data: ") + failure.body + "\n\n");
    });
    startBackend(failure.provider, upstream.origin());
    const auto events = eventsOf(backendServer.chat(token, visionQuestion())->body);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["type"], "error");
    EXPECT_EQ(events[0]["error"]["message"], failure.said);
    backendServer.server->stop();
    EXPECT_THAT(backendServer.log.str(), HasSubstr("org-7Hc")) << "logged as it came";
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProviderFailures,
    ::testing::Values(
        ProviderFailure{"anthropic", 401,
                        R"({"type":"error","error":{"type":"authentication_error",)"
                        R"("message":"invalid x-api-key org-7Hc"}})",
                        "The model provider refused the request: the API key was not accepted."},
        ProviderFailure{"anthropic", 400,
                        R"({"type":"error","error":{"type":"invalid_request_error",)"
                        R"("message":"Your credit balance is too low, org-7Hc"}})",
                        "The model provider refused the request: the account has no credit "
                        "left."},
        ProviderFailure{
            "anthropic", 529,
            R"({"type":"error","error":{"type":"overloaded_error","message":"org-7Hc"}})",
            "The model provider is overloaded right now; ask again in a moment."},
        ProviderFailure{
            "anthropic", 200,
            R"({"type":"error","error":{"type":"overloaded_error","message":"org-7Hc"}})",
            "The model provider is overloaded right now; ask again in a moment."},
        ProviderFailure{"openai", 429,
                        R"({"error":{"message":"quota org-7Hc","type":"insufficient_quota",)"
                        R"("code":"insufficient_quota"}})",
                        "The model provider refused the request: the account has no credit "
                        "left."},
        ProviderFailure{"openai", 429,
                        R"({"error":{"message":"Rate limit org-7Hc","type":"requests",)"
                        R"("code":"rate_limit_exceeded"}})",
                        "The model provider is limiting requests right now; ask again in a "
                        "moment."},
        ProviderFailure{"openai", 404,
                        R"({"error":{"message":"The model org-7Hc does not exist",)"
                        R"("code":"model_not_found"}})",
                        "The model provider refused the request: it has no model of that name."},
        ProviderFailure{"openai", 200, R"({"error":{"message":"gateway org-7Hc exploded"}})",
                        "The model provider stopped with an error; ask again."},
        ProviderFailure{"openai", 502, "<html>gateway org-7Hc</html>",
                        "The model provider had an internal error; ask again."}));

TEST_F(RelayCase, OpenAiCompatibleChunksAreTranslated) {
    LoopbackServer upstream([](LoopbackConnection& c) {
        c.write(eventStreamHead());
        const auto chunk = [](const nlohmann::json& delta, const nlohmann::json& finish) {
            return "data: " +
                   nlohmann::json{
                       {"id", "c1"},
                       {"object", "chat.completion.chunk"},
                       {"choices", {{{"index", 0}, {"delta", delta}, {"finish_reason", finish}}}}}
                       .dump() +
                   "\n\n";
        };
        c.write(chunk({{"role", "assistant"}}, nullptr));
        c.write(R"(data: {"id":"c1","choices":[],"usage":null})"
                "\n\n");
        c.write(chunk({{"content", "Use "}}, nullptr));
        c.write(chunk({{"content", "a queue."}}, nullptr));
        c.write(chunk(nlohmann::json::object(), "stop"));
        c.write("data: [DONE]\n\n");
    });
    startBackend("openai", upstream.origin());
    const auto events = eventsOf(backendServer.chat(token, visionQuestion())->body);
    EXPECT_EQ(answerOf(events), "Use a queue.");
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back()["type"], "message_stop");

    const auto sent = upstream.requests().at(0);
    EXPECT_EQ(sent.target, "/v1/chat/completions");
    EXPECT_EQ(sent.headers.at("authorization"), "Bearer sk-test-openai");
    const auto body = nlohmann::json::parse(sent.body);
    EXPECT_EQ(body["messages"][0]["role"], "system");
    EXPECT_THAT(body["messages"][0]["content"].get<std::string>(), HasSubstr("STAR"));
    const auto& last = body["messages"].back();
    EXPECT_EQ(last["content"][1]["image_url"]["url"], "data:image/png;base64,iVBORw==");
}

// A model or server that cannot take images refuses them: the question goes again without, the
// model is told what it is not seeing, and the answer begins by saying so.
TEST_F(RelayCase, ScreenshotsAModelCannotTakeAreLeftOutAndTheAnswerSaysSo) {
    for (const char* provider : {"openai", "anthropic"}) {
        LoopbackServer upstream([provider](LoopbackConnection& c) {
            if (c.request().body.find("iVBORw==") != std::string::npos) {
                c.write(
                    statusReply(400, R"({"error":{"message":"image input is not supported"}})"));
                return;
            }
            c.write(eventStreamHead());
            if (std::string(provider) == "anthropic") {
                c.write(answerEvents("A terminal."));
            } else {
                c.write(R"(data: {"choices":[{"delta":{"content":"A terminal."}}]})"
                        "\n\n"
                        "data: [DONE]\n\n");
            }
        });
        BackendHarness backend{"relay-vision"};
        backend.config.tiers["vision"] = {provider, "text-only-model"};
        backend.config.anthropicUrl = upstream.origin();
        backend.config.openaiUrl = upstream.origin() + "/v1";
        backend.start();
        const auto events =
            eventsOf(backend.chat(backend.signIn()["accessToken"], visionQuestion())->body);
        EXPECT_EQ(answerOf(events),
                  "*(The screenshots were not used: this model cannot take images.)*\n\n"
                  "A terminal.")
            << provider;
        ASSERT_EQ(upstream.requests().size(), 2u) << provider;
        EXPECT_THAT(upstream.requests()[1].body, HasSubstr("this model cannot see them"));
    }
}

// A question the app sent ahead and then let go: the upstream request is dropped as soon as the
// app has gone, even while the model has said nothing yet, and the question costs the user nothing.
TEST_F(RelayCase, AQuestionSentAheadAndLetGoStopsUpstreamAndCostsNothing) {
    std::atomic<bool> upstreamGone{false};
    LoopbackServer upstream([&](LoopbackConnection& c) {
        c.write(eventStreamHead());
        // A model that thinks for a long while before its first word.
        for (int i = 0; i < 100 && !upstreamGone; ++i) {
            c.pause(0.05);
            if (!c.write(":\n")) upstreamGone = true;
        }
    });
    backendServer.config.rateLimitPerMinute = 1;
    startBackend("openai", upstream.origin());
    const auto metric = [&] {
        const auto text = backendServer.client().Get("/metrics")->body;
        const auto at = text.rfind("orvane_prefetches_cancelled_total ");
        return std::stoi(text.substr(at + 34));
    };
    // The app lets it go after its first bytes, as when the speaker goes on.
    const auto sendAheadAndLetGo = [&] {
        httplib::Client app("127.0.0.1", backendServer.port);
        httplib::Request request;
        request.method = "POST";
        request.path = "/api/v1/ai/chat";
        request.headers = {{"Authorization", "Bearer " + token}, {"X-Orvane-Prefetch", "1"}};
        request.body = visionQuestion().dump();
        request.set_header("Content-Type", "application/json");
        int status = 0;
        request.response_handler = [&status](const httplib::Response& response) {
            status = response.status;
            return true;
        };
        request.content_receiver = [](const char*, std::size_t, std::uint64_t, std::uint64_t) {
            return false;
        };
        app.send(request);
        return status;
    };
    EXPECT_EQ(sendAheadAndLetGo(), 200);
    const auto left = std::chrono::steady_clock::now();
    waitUntil([&] { return metric() != 0; }, std::chrono::seconds(2));
    EXPECT_EQ(metric(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - left, std::chrono::seconds(2));
    waitUntil([&] { return bool(upstreamGone); }, std::chrono::seconds(1));
    EXPECT_TRUE(upstreamGone) << "the upstream request was dropped";
    EXPECT_NE(backendServer.chat(token, question("what is a heap"))->status, 429)
        << "the question let go cost nothing";
    EXPECT_EQ(backendServer.chat(token, question("what is a heap"))->status, 429);
    backendServer.server->stop();
    EXPECT_THAT(backendServer.log.str(), HasSubstr("prefetch cancelled user="));
}

// Each question sent ahead is charged to a budget of its own (twice the questions') when it
// starts, let go or not: the upstream request was made either way.
TEST_F(RelayCase, QuestionsSentAheadAndLetGoSpendABudgetOfTheirOwn) {
    LoopbackServer upstream([](LoopbackConnection& c) { c.write(eventStreamHead() + ":\n"); });
    backendServer.config.rateLimitPerMinute = 2;
    startBackend("openai", upstream.origin());
    std::vector<int> statuses;
    for (int i = 0; i < 6; ++i) {
        auto body = visionQuestion();
        statuses.push_back(
            backendServer.client()
                .Post("/api/v1/ai/chat",
                      {{"Authorization", "Bearer " + token}, {"X-Orvane-Prefetch", "1"}},
                      body.dump(), "application/json")
                ->status);
    }
    EXPECT_EQ(statuses, (std::vector<int>{200, 200, 200, 200, 429, 429}));
}

// A model that keeps the connection open with comments of its own and never says a word holds a
// stream slot and the app's patience only until the text deadline.
TEST_F(RelayCase, AModelThatSendsNoTextIsGivenUpAtTheDeadline) {
    std::atomic<bool> upstreamGone{false};
    LoopbackServer upstream([&](LoopbackConnection& c) {
        c.write(eventStreamHead());
        for (int i = 0; i < 200 && !upstreamGone; ++i) {
            c.pause(0.05);
            if (!c.write(":\n")) upstreamGone = true;
        }
    });
    backendServer.config.textTimeoutSeconds = 1;
    startBackend("openai", upstream.origin());
    const auto events = eventsOf(backendServer.chat(token, visionQuestion())->body);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["error"]["message"],
              "The model sent nothing for 1 seconds; the answer was given up.");
    waitUntil([&] { return bool(upstreamGone); }, std::chrono::seconds(1));
    EXPECT_TRUE(upstreamGone);
}

// The Preferences' Test button and model list, over real HTTP against stand-ins of each provider's
// documented replies.
class ProviderCheckOverHttp : public ::testing::Test {
protected:
    template <typename Result, typename Ask>
    Result wait(Ask ask) {
        std::optional<Result> result;
        ask([&result](Result r) { result = std::move(r); });
        loop.runUntil([&] { return result.has_value(); }, 20);
        return result.value();
    }
    ProviderCheck::Outcome test(const AnswerSettings& settings, const std::string& key) {
        return wait<ProviderCheck::Outcome>(
            [&](auto done) { check->test(settings, key, std::move(done)); });
    }
    ProviderCheck::Models models(const std::string& base) {
        return wait<ProviderCheck::Models>(
            [&](auto done) { check->listModels(base, std::move(done)); });
    }
    RunLoop loop;
    CurlHttpClient http;
    std::shared_ptr<ProviderCheck> check = ProviderCheck::create(http, loop);
};

TEST_F(ProviderCheckOverHttp, TheTestAsksOneShortQuestionAndSaysWhatCameBack) {
    using Source = AnswerSettings::Source;
    LoopbackServer provider([](LoopbackConnection& c) {
        const auto& request = c.request();
        if (request.target == "/v1/messages") {
            c.write(statusReply(200, R"({"content":[{"type":"text","text":"Good luck today!"}]})"));
        } else if (request.headers.count("authorization") &&
                   request.headers.at("authorization") == "Bearer sk-wrong") {
            c.write(statusReply(401,
                                R"({"error":{"message":"org-7Hc key","code":"invalid_api_key"}})"));
        } else {
            c.write(statusReply(200, R"({"choices":[{"message":{"content":"Hello there!"}}]})"));
        }
    });
    const auto anthropic = test({Source::anthropic, provider.origin(), {}}, "sk-ant");
    EXPECT_TRUE(anthropic.ok);
    EXPECT_EQ(anthropic.text, "Good luck today!");
    EXPECT_EQ(provider.requests().at(0).headers.at("x-api-key"), "sk-ant");
    EXPECT_EQ(nlohmann::json::parse(provider.requests()[0].body)["model"], "claude-haiku-4-5");
    const auto local = test({Source::openaiCompatible, provider.origin() + "/v1", {}}, "");
    EXPECT_EQ(local.text, "Hello there!");
    EXPECT_FALSE(provider.requests()[1].headers.count("authorization")) << "no key, no header";
    const auto refused = test({Source::openai, provider.origin() + "/v1", {}}, "sk-wrong");
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.text,
              "The model provider refused the request: the API key was not accepted.");

    EXPECT_EQ(test({Source::openai, "http://192.0.2.7/v1", {}}, "sk-x").text,
              "An API key is sent only over https, or to this computer.");
    EXPECT_EQ(test({Source::anthropic, "", {}}, "").text, "Enter the API key first.");
    const RefusingLoopbackPort nothingThere;
    const auto down = test({Source::openaiCompatible, nothingThere.origin() + "/v1", {}}, "");
    EXPECT_EQ(down.text,
              "Nothing answers at " + nothingThere.origin() + "/v1: is the server running there?");
}

TEST_F(ProviderCheckOverHttp, AServersModelsAreListedOrHowToStartOneIsSaid) {
    LoopbackServer ollama([](LoopbackConnection& c) {
        c.write(statusReply(200, R"({"models":[{"name":"llama3.2:latest"},{"name":"llava:7b"}]})"));
    });
    EXPECT_EQ(std::get<std::vector<std::string>>(models(ollama.origin() + "/v1")),
              (std::vector<std::string>{"llama3.2:latest", "llava:7b"}));
    LoopbackServer llamaCpp([](LoopbackConnection& c) {
        if (c.request().target == "/api/tags") {
            c.write(statusReply(404, "not found"));
        } else {
            c.write(statusReply(200, R"({"data":[{"id":"qwen2.5-7b"}]})"));
        }
    });
    EXPECT_EQ(std::get<std::vector<std::string>>(models(llamaCpp.origin() + "/v1")),
              (std::vector<std::string>{"qwen2.5-7b"}));
    const RefusingLoopbackPort nothingThere;
    EXPECT_THAT(std::get<std::string>(models(nothingThere.origin() + "/v1")),
                HasSubstr("No model server answers"));
}

}  // namespace
}  // namespace orvane::testing
