// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "capture/ScreenshotCapture.h"
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

TEST_F(SessionAnswer, SmallTalkIsNeverShownAndLeavesNoTrace) {
    const std::vector<std::vector<std::string>> declined = {{delta("["), delta("SK"), delta("IP]")},
                                                            {delta("  [SKIP] not a question")},
                                                            {delta(" \n")}};
    stream(ask("What is a mutex?"), {delta("A lock."), kStop});
    for (const auto& chunks : declined) {
        h.session->captureScreenshot(std::nullopt);
        h.settle();
        auto call = ask("okay great thanks");
        int skipped = 0;
        h.session->onAnswerSkipped = [&skipped] { ++skipped; };
        auto withStop = chunks;
        withStop.push_back(kStop);
        stream(call, withStop);
        EXPECT_TRUE(h.answers.empty()) << "nothing of the marker is shown: " << chunks[0];
        EXPECT_EQ(skipped, 1);
        EXPECT_EQ(h.session->history().count(), 1);
        ASSERT_EQ(h.session->conversationHistory().size(), 2u) << "as if it had not been asked";
        EXPECT_EQ(h.session->lastQuestion(), "What is a mutex?");
        EXPECT_EQ(h.session->screenshots().queue().size(), 1u) << "its screenshot waits again";
        EXPECT_EQ(h.session->state(), State::listening);
        h.session->screenshots().clear();
    }
    // Only the marker itself is held back: an answer that merely begins like it is shown whole.
    stream(ask("what did you skip"), {delta("[SKI"), delta("PPED the first part"), kStop});
    EXPECT_EQ(h.answers,
              (std::vector<std::string>{"[SKIPPED the first part", "[SKIPPED the first part"}));
    EXPECT_EQ(h.session->history().count(), 2);
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

// A stream that breaks off keeps what arrived, marked as cut short, and records it; with nothing
// arrived, it is an error and the question is withdrawn.
TEST_F(SessionAnswer, ABrokenStreamKeepsWhatArrivedMarkedAsCut) {
    stream(ask("what is TCP"), {delta("Transmission")}, "The request timed out.");
    stream(ask("what is UDP"), {delta("User Datagram")});
    auto call = ask("what is a heap");
    call.respond(200);
    call.feed(delta("Heap"));
    const std::string junk(256 * 1024, 'j');
    int chunks = 0;
    while (call.feed(junk) && ++chunks < 16) {
    }
    EXPECT_LT(chunks, 16) << "an endless line stops the transfer";
    call.finish("cancelled");
    h.mainQueue.runUntilIdle();
    EXPECT_TRUE(h.errors.empty());
    const auto& pairs = h.session->history().pairs();
    ASSERT_EQ(pairs.size(), 3u);
    EXPECT_EQ(pairs[0].answer, "Transmission\n\n*(Cut short. The request timed out.)*");
    EXPECT_EQ(pairs[1].answer,
              "User Datagram\n\n*(Cut short. The answer ended before it was complete.)*");
    EXPECT_TRUE(pairs[2].answer.starts_with("Heap\n\n*(Cut short. A line")) << pairs[2].answer;
    EXPECT_EQ(h.answers.back(), pairs[2].answer);
    EXPECT_EQ(h.session->conversationHistory().back().content, pairs[2].answer);

    stream(ask("what is QUIC"), {}, "Connection reset by peer");
    EXPECT_EQ(h.errors, (std::vector<std::string>{"Stream error: Connection reset by peer"}));
    EXPECT_EQ(h.session->history().count(), 3);
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

TEST_F(SessionAnswer, AFailedQuestionIsWithdrawnSoTurnsAlternate) {
    h.session->captureScreenshot(std::nullopt);
    h.settle();
    auto call = ask("first q");
    call.respond(503);
    call.finish();
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.session->screenshots().queue().size(), 1u) << "the screenshot waits for the next";
    stream(ask("second q"), {delta("ok"), kStop});
    const auto& turns = h.session->conversationHistory();
    ASSERT_EQ(turns.size(), 2u);
    EXPECT_EQ(turns[0].content, "second q");
    EXPECT_EQ(turns[0].images.size(), 1u);
    EXPECT_EQ(turns[1].role, "assistant");
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

// One question is answered at a time: a new one cancels the answer still streaming, which is kept
// as cut short, and nothing the old stream still sends reaches the panel.
TEST_F(SessionAnswer, ANewQuestionSupersedesTheOneBeingAnswered) {
    auto first = ask("first stream");
    first.respond(200);
    first.feed(delta("one "));
    h.mainQueue.runUntilIdle();
    auto second = ask("second stream");
    EXPECT_TRUE(first.task->cancelled);
    second.respond(200);
    first.feed(delta("1") + kStop);
    second.feed(delta("two") + kStop);
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.answers, (std::vector<std::string>{"two", "two"}));
    EXPECT_EQ(h.states, (std::vector<State>{State::listening}));
    const auto cut = "one\n\n*(Cut short. A new question was asked.)*";
    const auto& pairs = h.session->history().pairs();
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].question, "first stream");
    EXPECT_EQ(pairs[0].answer, cut);
    EXPECT_EQ(pairs[1].question, "second stream");
    EXPECT_EQ(pairs[1].answer, "two");
    std::vector<std::string> turns;
    for (const auto& turn : h.session->conversationHistory()) turns.push_back(turn.content);
    EXPECT_EQ(turns, (std::vector<std::string>{"first stream", cut, "second stream", "two"}));

    // A question superseded before any of its answer came is withdrawn.
    ask("third");
    stream(ask("fourth"), {delta("four"), kStop});
    EXPECT_EQ(h.session->conversationHistory().size(), 6u);
    EXPECT_EQ(h.session->conversationHistory()[4].content, "fourth");
}

}  // namespace
}  // namespace orvane::testing
