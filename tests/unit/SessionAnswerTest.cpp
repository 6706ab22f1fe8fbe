// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "fakes/SessionHarness.h"
#include "session/StreamDelegate.h"

namespace orvane::testing {
namespace {

using State = SessionManager::State;

std::string delta(const std::string& text) {
    return nlohmann::json{{"type", "content_block_delta"},
                          {"delta", {{"type", "text_delta"}, {"text", text}}}}
               .dump()
               .insert(0, "data: ") +
           "\n";
}
const std::string kStop = "data: {\"type\":\"message_stop\"}\n";

// Answers to questions asked while the session listens.
class SessionAnswer : public ::testing::Test {
protected:
    SessionAnswer() { h.startListening(); }

    FakeHttpClient::StreamCall ask(const std::string& question) {
        h.session->sendToLLM(question);
        h.mainQueue.runUntilIdle();
        h.answers.clear();
        h.states.clear();
        return h.lastStream();
    }
    void stream(const FakeHttpClient::StreamCall& call, const std::vector<std::string>& chunks,
                std::optional<std::string> transportError = std::nullopt) {
        call.respond(200);
        for (const auto& chunk : chunks) call.feed(chunk);
        call.finish(transportError);
        h.mainQueue.runUntilIdle();
    }
    SessionHarness h;
};

TEST_F(SessionAnswer, DeltasGrowTheAnswerAndTheStopRecordsIt) {
    auto call = ask("What is idempotency?");
    stream(call, {delta("A"), delta("B"), delta("C \n"), kStop});
    EXPECT_EQ(h.answers, (std::vector<std::string>{"A", "AB", "ABC \n", "ABC"}));
    ASSERT_EQ(h.session->history().count(), 1);
    EXPECT_EQ(h.session->history().pairs()[0].question, "What is idempotency?");
    EXPECT_EQ(h.session->history().pairs()[0].answer, "ABC");
    ASSERT_EQ(h.session->conversationHistory().size(), 2u);
    EXPECT_EQ(h.session->conversationHistory()[1].role, "assistant");
    EXPECT_EQ(h.session->conversationHistory()[1].content, "ABC");
    EXPECT_EQ(h.session->state(), State::listening);
    EXPECT_EQ(h.states, (std::vector<State>{State::listening}));
    EXPECT_TRUE(h.errors.empty());
}

TEST_F(SessionAnswer, SeveralEventsInOneChunkAreEachReported) {
    stream(ask("q one two"), {delta("x") + delta("y") + kStop});
    EXPECT_EQ(h.answers, (std::vector<std::string>{"x", "xy", "xy"}));
}

TEST_F(SessionAnswer, EventsSplitAcrossChunksAreHandledWhenTheirLineEnds) {
    const std::string whole = delta("Gr\u00FC\u00DF") + kStop;
    std::vector<std::string> bytes;
    for (char c : whole) bytes.emplace_back(1, c);
    stream(ask("say hello in german"), bytes);
    EXPECT_EQ(h.answers, (std::vector<std::string>{"Gr\u00FC\u00DF", "Gr\u00FC\u00DF"}));
}

TEST_F(SessionAnswer, SkippedAnswersStreamButAreNeverRecorded) {
    for (const char* answer : {"[SKIP]", "  [SKIP] not a question", " \n \t "}) {
        SessionHarness fresh;
        fresh.session->sendToLLM("okay thanks");
        fresh.mainQueue.runUntilIdle();
        fresh.answers.clear();
        const auto call = fresh.lastStream();
        call.respond(200);
        call.feed(delta(answer) + kStop);
        call.finish();
        fresh.mainQueue.runUntilIdle();
        EXPECT_EQ(fresh.answers, (std::vector<std::string>{answer})) << answer;
        EXPECT_EQ(fresh.session->history().count(), 0) << answer;
        EXPECT_EQ(fresh.session->conversationHistory().size(), 1u) << answer;
        EXPECT_EQ(fresh.session->state(), State::idle) << "asked while stopped: " << answer;
    }
}

TEST_F(SessionAnswer, SkipMarkerIsCaseSensitive) {
    stream(ask("q two words"), {delta("[skip] lowercase is an answer"), kStop});
    EXPECT_EQ(h.session->history().count(), 1);
}

struct StatusCase {
    int status;
    const char* message;
};

class StatusMessages : public SessionAnswer, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusMessages, BadStatusIsReportedAndItsBodyIgnored) {
    auto call = ask("what is a deadlock");
    call.respond(GetParam().status);
    call.feed(delta("ignored") + kStop);
    call.finish();
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.errors, (std::vector<std::string>{GetParam().message}));
    EXPECT_TRUE(h.answers.empty());
    EXPECT_EQ(h.session->history().count(), 0);
    EXPECT_EQ(h.session->state(), State::listening);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StatusMessages,
    ::testing::Values(StatusCase{401, "Session expired -- please sign in again"},
                      StatusCase{403, "AI chat not available for this account"},
                      StatusCase{404, "AI endpoint not found -- is the server up to date?"},
                      StatusCase{429, "Too many requests -- slow down a bit"},
                      StatusCase{500, "Server error (500) -- try again"},
                      StatusCase{503, "Server error (503) -- try again"},
                      StatusCase{599, "Server error (599) -- try again"},
                      StatusCase{600, "Request failed (HTTP 600)"},
                      StatusCase{204, "Request failed (HTTP 204)"},
                      StatusCase{302, "Request failed (HTTP 302)"},
                      StatusCase{400, "Request failed (HTTP 400)"}));

TEST_F(SessionAnswer, ServerErrorEventEndsTheAnswerUnrecorded) {
    stream(
        ask("what is sharding"),
        {delta("Partial"), "data: {\"type\":\"error\",\"error\":{\"message\":\"Overloaded\"}}\n"});
    EXPECT_EQ(h.errors, (std::vector<std::string>{"Overloaded"}));
    EXPECT_EQ(h.answers, (std::vector<std::string>{"Partial"}));
    EXPECT_EQ(h.session->history().count(), 0);
    EXPECT_EQ(h.session->state(), State::listening);
}

TEST_F(SessionAnswer, TransportErrorIsAStreamError) {
    stream(ask("what is TCP"), {delta("Trans")}, "Connection reset by peer");
    EXPECT_EQ(h.errors, (std::vector<std::string>{"Stream error: Connection reset by peer"}));
    EXPECT_EQ(h.session->history().count(), 0);
    EXPECT_EQ(h.session->state(), State::listening);
}

TEST_F(SessionAnswer, AStreamThatEndsWithoutItsEndEventIsAnError) {
    stream(ask("what is UDP"), {delta("User Datagram")});
    EXPECT_EQ(h.errors,
              (std::vector<std::string>{"Stream error: the answer ended before it was complete"}));
    EXPECT_EQ(h.session->history().count(), 0);
    EXPECT_EQ(h.session->state(), State::listening);
}

TEST_F(SessionAnswer, AnEndlessLineStopsTheTransferWithAStreamError) {
    auto call = ask("what is a heap");
    call.respond(200);
    call.feed(delta("Heap"));
    const std::string junk(256 * 1024, 'j');
    bool keepGoing = true;
    int chunks = 0;
    while (keepGoing && chunks < 16) {
        keepGoing = call.feed(junk);
        ++chunks;
    }
    EXPECT_FALSE(keepGoing);
    call.finish("cancelled");
    h.mainQueue.runUntilIdle();
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_TRUE(h.errors[0].starts_with("Stream error: ")) << h.errors[0];
    EXPECT_EQ(h.answers, (std::vector<std::string>{"Heap"}));
    EXPECT_EQ(h.session->state(), State::listening);
}

TEST_F(SessionAnswer, ConversationKeepsTheLastTwentyTurns) {
    for (int i = 1; i <= 12; ++i) {
        const auto n = std::to_string(i);
        stream(ask("question " + n), {delta("answer " + n), kStop});
    }
    const auto& turns = h.session->conversationHistory();
    ASSERT_EQ(turns.size(), 20u);
    EXPECT_EQ(turns.front().content, "question 3");
    EXPECT_EQ(turns.back().content, "answer 12");
    EXPECT_EQ(h.session->history().count(), 12);

    ask("question 13");
    EXPECT_EQ(nlohmann::json::parse(*h.lastStream().request.body)["messages"].size(), 21u);
}

TEST_F(SessionAnswer, FailedAnswersLeaveUserTurnsBackToBack) {
    stream(ask("first q"), {}, "timed out");
    stream(ask("second q"), {delta("ok"), kStop});
    const auto& turns = h.session->conversationHistory();
    ASSERT_EQ(turns.size(), 3u);
    EXPECT_EQ(turns[0].role, "user");
    EXPECT_EQ(turns[1].role, "user");
    EXPECT_EQ(turns[2].role, "assistant");
}

TEST_F(SessionAnswer, ResultsAfterTheSessionIsGoneAreDropped) {
    auto call = ask("what is GC");
    h.session.reset();
    call.respond(200);
    call.feed(delta("late") + kStop);
    call.finish();
    h.mainQueue.runUntilIdle();
    EXPECT_TRUE(h.answers.empty());
}

TEST_F(SessionAnswer, TwoStreamsInterleavedKeepTheirOwnText) {
    auto first = ask("first stream");
    auto second = ask("second stream");
    first.respond(200);
    second.respond(200);
    first.feed(delta("one "));
    second.feed(delta("two "));
    first.feed(delta("1"));
    second.feed(delta("2") + kStop);
    first.feed(kStop);
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.answers,
              (std::vector<std::string>{"one ", "two ", "one 1", "two 2", "two 2", "one 1"}));
    ASSERT_EQ(h.session->history().count(), 2);
    EXPECT_EQ(h.session->history().pairs()[0].question, "second stream")
        << "both pair with the question most recently sent";
}

}  // namespace
}  // namespace orvane::testing
