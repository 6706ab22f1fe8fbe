// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "integration/LiveSession.h"
#include "integration/LoopbackServer.h"

namespace orvane::testing {
namespace {

using State = SessionManager::State;

TEST(AnswerStreamOverHttp, ANormalStreamGrowsTheAnswerAndIsRecorded) {
    LoopbackServer server([](LoopbackConnection& c) {
        c.write(eventStreamHead());
        c.write("event: message_start\ndata: {\"type\":\"message_start\"}\n\n");
        for (const char* word : {"Use ", "an ", "index."}) {
            c.write(deltaEvent(word));
            c.pause(0.01);
        }
        c.write(kStopEvent);
    });
    LiveSession live(server.origin());
    live.session->setSystemContext("Role: DBA");
    ASSERT_TRUE(live.ask("How do you speed up a slow query?"));

    EXPECT_EQ(live.answerSizes, (std::vector<std::size_t>{0, 4, 7, 13, 13}));
    EXPECT_EQ(live.lastAnswer, "Use an index.");
    ASSERT_EQ(live.session->history().count(), 1);
    EXPECT_EQ(live.session->history().pairs()[0].answer, "Use an index.");
    EXPECT_EQ(live.session->state(), State::idle);
    EXPECT_TRUE(live.errors.empty());

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/api/v1/ai/chat");
    EXPECT_EQ(requests[0].headers.at("authorization"), "Bearer live-token");
    EXPECT_EQ(requests[0].headers.at("content-type"), "application/json");
    EXPECT_FALSE(requests[0].headers.contains("expect"));
    EXPECT_EQ(nlohmann::json::parse(requests[0].body),
              nlohmann::json::parse(R"({"model":"mini","systemContext":"Role: DBA",
                  "messages":[{"role":"user","content":"How do you speed up a slow query?"}]})"));
}

TEST(AnswerStreamOverHttp, EveryByteInItsOwnWriteDecodesTheSame) {
    const std::string body =
        deltaEvent("na\u00EFve ") + deltaEvent("\U0001F680") + std::string(kStopEvent);
    LoopbackServer server([&](LoopbackConnection& c) {
        c.write(eventStreamHead());
        for (char byte : body) {
            c.write(std::string_view(&byte, 1));
            c.pause(0.001);
        }
    });
    LiveSession live(server.origin());
    ASSERT_TRUE(live.ask("split it"));
    EXPECT_EQ(live.lastAnswer, "na\u00EFve \U0001F680");
    EXPECT_TRUE(live.errors.empty());
    EXPECT_EQ(live.session->history().count(), 1);
}

TEST(AnswerStreamOverHttp, CrlfLinesAndASplitCharacterDecode) {
    const std::string euro = "\u20AC";  // three bytes
    LoopbackServer server([&](LoopbackConnection& c) {
        c.write(eventStreamHead());
        std::string line = deltaEvent("costs 5" + euro);
        line.replace(line.find("\n\n"), 2, "\r\n\r\n");
        const auto cut = line.find(euro) + 1;
        c.write(line.substr(0, cut));
        c.pause(0.05);
        c.write(line.substr(cut));
        c.write("data: {\"type\":\"message_stop\"}\r\n\r\n");
    });
    LiveSession live(server.origin());
    ASSERT_TRUE(live.ask("price"));
    EXPECT_EQ(live.lastAnswer, "costs 5" + euro);
    EXPECT_EQ(live.session->history().count(), 1);
}

class BadStatusOverHttp : public ::testing::TestWithParam<std::pair<int, const char*>> {};

TEST_P(BadStatusOverHttp, IsReportedAndTheBodyIgnored) {
    const auto [status, message] = GetParam();
    LoopbackServer server([status = status](LoopbackConnection& c) {
        c.write(statusReply(status, deltaEvent("must not show") + std::string(kStopEvent)));
    });
    LiveSession live(server.origin());
    ASSERT_TRUE(live.ask("anything at all"));
    EXPECT_EQ(live.errors, (std::vector<std::string>{message}));
    EXPECT_EQ(live.answerSizes, (std::vector<std::size_t>{0}));
    EXPECT_EQ(live.session->history().count(), 0);
    EXPECT_EQ(live.session->state(), State::idle);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, BadStatusOverHttp,
    ::testing::Values(std::pair{401, "Session expired -- please sign in again"},
                      std::pair{403, "AI chat not available for this account"},
                      std::pair{404, "AI endpoint not found -- is the server up to date?"},
                      std::pair{429, "Too many requests -- slow down a bit"},
                      std::pair{500, "Server error (500) -- try again"},
                      std::pair{503, "Server error (503) -- try again"},
                      std::pair{204, "Request failed (HTTP 204)"}),
    [](const auto& info) { return "Status" + std::to_string(info.param.first); });

TEST(AnswerStreamOverHttp, AnErrorEventIsShownAndNothingRecorded) {
    LoopbackServer server([](LoopbackConnection& c) {
        c.write(eventStreamHead() + deltaEvent("Half an ans") +
                "data: {\"type\":\"error\",\"error\":{\"type\":\"overloaded_error\","
                "\"message\":\"Overloaded\"}}\n\n");
    });
    LiveSession live(server.origin());
    ASSERT_TRUE(live.ask("what is load shedding"));
    EXPECT_EQ(live.errors, (std::vector<std::string>{"Overloaded"}));
    EXPECT_EQ(live.lastAnswer, "Half an ans");
    EXPECT_EQ(live.session->history().count(), 0);
}

TEST(AnswerStreamOverHttp, AServerClosingMidStreamEndsTheAnswerWithAnError) {
    LoopbackServer server(
        [](LoopbackConnection& c) { c.write(eventStreamHead() + deltaEvent("It depends")); });
    LiveSession live(server.origin());
    ASSERT_TRUE(live.ask("when should I shard"));
    EXPECT_EQ(live.errors,
              (std::vector<std::string>{"Stream error: the answer ended before it was complete"}));
    EXPECT_EQ(live.session->history().count(), 0);
}

TEST(AnswerStreamOverHttp, AChunkedStreamCutShortIsATransportError) {
    LoopbackServer server([](LoopbackConnection& c) {
        const auto event = deltaEvent("It dep");
        char size[16];
        std::snprintf(size, sizeof size, "%zx\r\n", event.size());
        c.write(
            "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n"
            "Transfer-Encoding: chunked\r\n\r\n" +
            std::string(size) + event + "\r\n");
        c.pause(0.05);
        c.reset();
    });
    LiveSession live(server.origin());
    ASSERT_TRUE(live.ask("when should I shard"));
    ASSERT_EQ(live.errors.size(), 1u);
    EXPECT_EQ(live.errors[0], "Stream error: The network connection was lost.");
    EXPECT_EQ(live.lastAnswer, "It dep");
}

TEST(AnswerStreamOverHttp, AStalledServerTimesOut) {
    LoopbackServer server([](LoopbackConnection& c) {
        c.write(eventStreamHead() + deltaEvent("Thinking"));
        c.pause(10);
    });
    LiveSession live(server.origin(), 0.4);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(live.ask("a slow one"));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(live.errors, (std::vector<std::string>{"Stream error: The request timed out."}));
}

TEST(AnswerStreamOverHttp, AConnectionRefusedIsATransportError) {
    int port;
    {
        LoopbackServer closed([](LoopbackConnection&) {});
        port = closed.port();
    }
    LiveSession live("http://127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(live.ask("anyone there"));
    EXPECT_EQ(live.errors,
              (std::vector<std::string>{"Stream error: Could not connect to the server."}));
}

TEST(AnswerStreamOverHttp, ALineThatNeverEndsIsCutOffAndTheTransferStopped) {
    std::atomic<std::size_t> sent{0};
    std::atomic<bool> peerGone{false};
    LoopbackServer server([&](LoopbackConnection& c) {
        c.write(eventStreamHead() + deltaEvent("Before"));
        const std::string junk(64 * 1024, 'z');
        c.write("data: {\"type\":\"content_block_delta\",\"delta\":{\"text\":\"");
        while (sent < 64u * 1024 * 1024) {
            if (!c.write(junk)) {
                peerGone = true;
                return;
            }
            sent += junk.size();
        }
    });
    LiveSession live(server.origin());
    ASSERT_TRUE(live.ask("endless"));
    ASSERT_EQ(live.errors.size(), 1u);
    EXPECT_TRUE(live.errors[0].starts_with("Stream error: ")) << live.errors[0];
    EXPECT_EQ(live.lastAnswer, "Before");
    EXPECT_EQ(live.session->history().count(), 0);
    for (int i = 0; i < 200 && !peerGone; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(peerGone) << "the client hung up instead of reading on";
    EXPECT_LT(sent.load(), 16u * 1024 * 1024);
}

TEST(AnswerStreamOverHttp, AFiftyMegabyteAnswerStreamsWhole) {
    const std::string piece(1000, 'w');
    constexpr int kDeltas = 50 * 1000;
    LoopbackServer server([&](LoopbackConnection& c) {
        c.write(eventStreamHead());
        const auto event = deltaEvent(piece);
        std::string batch;
        for (int i = 0; i < kDeltas; ++i) {
            batch += event;
            if (batch.size() > 256 * 1024) {
                c.write(batch);
                batch.clear();
            }
        }
        c.write(batch + std::string(kStopEvent));
    });
    LiveSession live(server.origin());
    ASSERT_TRUE(live.ask("tell me everything", 1, 60));
    EXPECT_TRUE(live.errors.empty());
    EXPECT_EQ(live.answerSizes.size(), static_cast<std::size_t>(kDeltas) + 2);
    EXPECT_EQ(live.answerSizes.back(), piece.size() * kDeltas);
    ASSERT_EQ(live.session->history().count(), 1);
    EXPECT_EQ(live.session->history().pairs()[0].answer.size(), piece.size() * kDeltas);
}

TEST(AnswerStreamOverHttp, TwoQuestionsStreamAtOnce) {
    std::atomic<int> arrived{0};
    LoopbackServer server([&](LoopbackConnection& c) {
        const bool first = nlohmann::json::parse(c.request().body)["messages"].size() == 1;
        ++arrived;
        // Both requests are open before either answers, so they really overlap.
        for (int i = 0; i < 400 && arrived < 2; ++i) c.pause(0.005);
        c.write(eventStreamHead());
        for (int i = 0; i < 5; ++i) {
            c.write(deltaEvent(first ? "a" : "b"));
            c.pause(0.01);
        }
        c.write(kStopEvent);
    });
    LiveSession live(server.origin());
    live.session->sendToLLM("first question");
    ASSERT_TRUE(live.ask("second question", 2));
    EXPECT_TRUE(live.errors.empty());
    ASSERT_EQ(live.session->history().count(), 2);
    std::vector<std::string> answers;
    for (const auto& pair : live.session->history().pairs()) answers.push_back(pair.answer);
    std::sort(answers.begin(), answers.end());
    EXPECT_EQ(answers, (std::vector<std::string>{"aaaaa", "bbbbb"}));
    EXPECT_EQ(server.connectionCount(), 2);
}

}  // namespace
}  // namespace orvane::testing
