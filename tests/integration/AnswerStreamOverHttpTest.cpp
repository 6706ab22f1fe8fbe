// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <nlohmann/json.hpp>

#include "integration/LiveSession.h"
#include "integration/LoopbackServer.h"
#include "integration/ProcessRun.h"
#include "protocol/ChatBody.h"
#include "session/SessionMessages.h"

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;

using State = SessionManager::State;

// The decoder's own tests split streams everywhere; over a socket, a stream written a byte at a
// time, with CRLF lines and characters split, shows the transfer hands it over whole.
TEST(AnswerStreamOverHttp, ANormalStreamGrowsTheAnswerAndIsRecorded) {
    std::string body = "event: message_start\ndata: {\"type\":\"message_start\"}\n\n" +
                       deltaEvent("Use ") + deltaEvent("an ") +
                       deltaEvent("\u00EFndex \U0001F680.") + std::string(kStopEvent);
    for (auto at = body.find("\n\n"); at != std::string::npos; at = body.find("\n\n", at + 4)) {
        body.replace(at, 2, "\r\n\r\n");
    }
    LoopbackServer server([&](LoopbackConnection& c) {
        c.write(eventStreamHead());
        for (char byte : body) {
            c.write(std::string_view(&byte, 1));
            c.pause(0.001);
        }
    });
    LiveSession live(server.origin());
    live.session->setSystemContext("Role: DBA");
    ASSERT_TRUE(live.ask("How do you speed up a slow query?"));

    const std::string answer = "Use an \u00EFndex \U0001F680.";
    EXPECT_EQ(live.answerSizes, (std::vector<std::size_t>{0, 4, 7, 19, 19}));
    EXPECT_EQ(live.lastAnswer, answer);
    ASSERT_EQ(live.session->history().count(), 1);
    EXPECT_EQ(live.session->history().pairs()[0].answer, answer);
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

// A stream that breaks off after text arrived keeps that text, marked as cut short with the
// reason the transfer gave, and records it.
struct BrokenStream {
    const char* name;
    std::function<void(LoopbackConnection&)> serve;
    const char* reason;
};

class BrokenStreams : public ::testing::TestWithParam<BrokenStream> {};

TEST_P(BrokenStreams, KeepWhatArrivedMarkedAsCutShort) {
    LoopbackServer server(GetParam().serve);
    LiveSession live(server.origin(), 0.4);
    ASSERT_TRUE(live.ask("when should I shard"));
    EXPECT_TRUE(live.errors.empty()) << live.errors.front();
    ASSERT_EQ(live.session->history().count(), 1);
    const auto& answer = live.session->history().pairs()[0].answer;
    EXPECT_TRUE(answer.starts_with("It dep\n\n*(Cut short. ")) << answer;
    EXPECT_THAT(answer, HasSubstr(GetParam().reason));
}

INSTANTIATE_TEST_SUITE_P(
    Table, BrokenStreams,
    ::testing::Values(BrokenStream{"ClosedWithoutItsEnd",
                                   [](LoopbackConnection& c) {
                                       c.write(eventStreamHead() + deltaEvent("It dep"));
                                   },
                                   "The answer ended before it was complete."},
                      BrokenStream{"ChunkedAndReset",
                                   [](LoopbackConnection& c) {
                                       const auto event = deltaEvent("It dep");
                                       char size[16];
                                       std::snprintf(size, sizeof size, "%zx\r\n", event.size());
                                       c.write(
                                           "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n"
                                           "Transfer-Encoding: chunked\r\n\r\n" +
                                           std::string(size) + event + "\r\n");
                                       c.pause(0.05);
                                       c.reset();
                                   },
                                   "The network connection was lost."},
                      BrokenStream{"Stalled",
                                   [](LoopbackConnection& c) {
                                       c.write(eventStreamHead() + deltaEvent("It dep"));
                                       c.pause(10);
                                   },
                                   "The request timed out."}),
    [](const auto& info) { return info.param.name; });

// A server that goes on past the cap gets 256 KiB read, kept as cut short, and is hung up on.
TEST(AnswerStreamOverHttp, AnAnswerPastTheCapIsKeptToItAndTheTransferStopped) {
    const std::string piece(1000, 'w');
    std::atomic<std::size_t> sent{0};
    LoopbackServer server([&](LoopbackConnection& c) {
        c.write(eventStreamHead());
        const auto event = deltaEvent(piece);
        std::string batch;
        while (sent < 50u * 1000 * 1000) {
            batch += event;
            if (batch.size() > 64 * 1024) {
                if (!c.write(batch)) return;
                sent += batch.size();
                batch.clear();
            }
        }
    });
    LiveSession live(server.origin());
    ASSERT_TRUE(live.ask("tell me everything", 1, 110));
    EXPECT_TRUE(live.errors.empty());
    ASSERT_EQ(live.session->history().count(), 1);
    const auto& answer = live.session->history().pairs()[0].answer;
    EXPECT_EQ(answer, SessionManager::cutShort(std::string(chat::maxAnswerBytes, 'w'),
                                               "The answer went on past 256 KiB, the most "
                                               "Orvane takes."));
    EXPECT_LT(sent.load(), 16u * 1024 * 1024) << "the client hung up";
}

// A question asked while an answer streams ends that transfer on the wire: the server sees the
// client go, and only the new question's answer arrives.
TEST(AnswerStreamOverHttp, ANewQuestionHangsUpOnTheAnswerItSupersedes) {
    std::atomic<bool> firstGone{false};
    LoopbackServer server([&](LoopbackConnection& c) {
        const bool first = nlohmann::json::parse(c.request().body)["messages"].size() == 1;
        c.write(eventStreamHead());
        for (int i = 0; i < (first ? 2000 : 5); ++i) {
            if (!c.write(deltaEvent(first ? "a" : "b"))) {
                firstGone = first;
                return;
            }
            c.pause(0.005);
        }
        c.write(kStopEvent);
    });
    LiveSession live(server.origin());
    live.session->sendToLLM("first question");
    live.mainQueue.runUntil([&] { return !live.lastAnswer.empty(); }, 10);
    ASSERT_TRUE(live.ask("second question"));
    EXPECT_TRUE(live.errors.empty());
    const auto& pairs = live.session->history().pairs();
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_TRUE(pairs[0].answer.ends_with("*(Cut short. A new question was asked.)*"));
    EXPECT_EQ(pairs[1].answer, "bbbbb");
    waitUntil([&] { return bool(firstGone); }, std::chrono::seconds(2));
    EXPECT_TRUE(firstGone) << "the first transfer was left running";
}

}  // namespace
}  // namespace orvane::testing
