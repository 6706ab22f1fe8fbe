// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "capture/MicCapture.h"
#include "capture/ScreenshotCapture.h"
#include "fakes/SessionHarness.h"

namespace orvane::testing {
namespace {

using State = SessionManager::State;

nlohmann::json bodyOf(const FakeHttpClient::StreamCall& call) {
    return nlohmann::json::parse(*call.request.body);
}

class SessionQuestion : public ::testing::Test {
protected:
    void queueScreenshots(int count) {
        for (int i = 0; i < count; ++i) {
            h.screenSource.png =
                std::vector<std::uint8_t>{'p', 'n', 'g', static_cast<std::uint8_t>('0' + i)};
            h.session->captureScreenshot(std::nullopt);
            h.settle();
        }
    }
    SessionHarness h;
};

TEST_F(SessionQuestion, SignedOutQuestionReportsOnceAndChangesNothing) {
    SessionHarness signedOut(false);
    signedOut.session->captureScreenshot(std::nullopt);
    signedOut.settle();
    signedOut.session->sendToLLM("why this company");
    EXPECT_EQ(signedOut.errors,
              (std::vector<std::string>{"Not signed in -- please sign in again"}));
    signedOut.settle();
    EXPECT_TRUE(signedOut.http.streams.empty());
    EXPECT_TRUE(signedOut.states.empty());
    EXPECT_TRUE(signedOut.answers.empty());
    EXPECT_TRUE(signedOut.session->conversationHistory().empty());
    EXPECT_EQ(signedOut.session->screenshots().queue().size(), 1u);
}

TEST_F(SessionQuestion, QuestionGoesOutAndTheAnswerIsClearedAfterTheStateChange) {
    std::vector<std::string> order;
    h.session->onStateChanged = [&](State s) {
        order.push_back(s == State::processing ? "processing" : "other");
    };
    h.session->onAnswer = [&](const std::string& a) { order.push_back("answer:" + a); };
    h.session->sendToLLM("What is a race condition?");
    EXPECT_EQ(h.session->state(), State::processing);
    EXPECT_TRUE(order.empty());
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(order, (std::vector<std::string>{"processing", "answer:"}));

    ASSERT_EQ(h.http.streams.size(), 1u);
    EXPECT_EQ(h.lastStream().request.url, "https://api.orvane.test/api/v1/ai/chat");
    EXPECT_EQ(h.session->lastQuestion(), "What is a race condition?");
    EXPECT_EQ(bodyOf(h.lastStream()), nlohmann::json::parse(R"({"model":"mini","messages":[
                  {"role":"user","content":"What is a race condition?"}]})"));
}

TEST_F(SessionQuestion, ModelAndContextAreReadWhenTheQuestionIsSent) {
    h.session->setSelectedModel(SessionManager::Model::standard);
    h.session->setSystemContext("Company: Acme");
    h.session->sendToLLM("first");
    h.session->setSelectedModel(SessionManager::Model::nano);
    h.session->setSystemContext("");
    h.session->sendToLLM("second");
    EXPECT_EQ(bodyOf(h.http.streams[0])["model"], "standard");
    EXPECT_EQ(bodyOf(h.http.streams[0])["systemContext"], "Company: Acme");
    EXPECT_EQ(bodyOf(h.http.streams[1])["model"], "nano");
    EXPECT_FALSE(bodyOf(h.http.streams[1]).contains("systemContext"));
}

TEST_F(SessionQuestion, ScreenshotsRideAlongAndAreResentWhileTheirTurnIsKept) {
    std::vector<int> counts;
    h.session->onScreenshotsChanged = [&](int n) { counts.push_back(n); };
    queueScreenshots(2);
    h.session->sendScreenshots("");
    EXPECT_EQ(counts, (std::vector<int>{1, 2, 0}));
    EXPECT_TRUE(h.session->screenshots().queue().empty());
    const auto first = bodyOf(h.lastStream());
    EXPECT_EQ(first["messages"][0]["content"], "What do you see in these screenshots?");
    EXPECT_EQ(first["messages"][0]["images"], nlohmann::json({"cG5nMA==", "cG5nMQ=="}));
    EXPECT_EQ(first["model"], "mini") << "screenshots do not change the model";

    h.session->completeAssistantMessage("A terminal with a stack trace.");
    h.session->sendToLLM("what is wrong in it");
    const auto second = bodyOf(h.lastStream());
    ASSERT_EQ(second["messages"].size(), 3u);
    EXPECT_EQ(second["messages"][0]["images"].size(), 2u);
    EXPECT_FALSE(second["messages"][2].contains("images"));
}

// Screenshots ride along with every later question; together they must never make questions too
// large for the server, which would then refuse every one of them.
class ScreenshotBudget : public ::testing::Test {
protected:
    static constexpr std::size_t kLimit = 4000;
    ScreenshotBudget() {
        session = SessionManager::create(h.services(h.auth),
                                         SessionConfig{SessionHarness::apiBase, 1.5, kLimit});
        session->onError = [this](const std::string& e) { errors.push_back(e); };
    }
    void ask(const std::string& question, std::vector<std::string> images) {
        session->screenshots().setQueue(std::move(images));
        session->sendToLLM(question);
        h.mainQueue.runUntilIdle();
    }
    void answer() {
        h.lastStream().respond(200);
        h.lastStream().feed(
            "data: {\"type\":\"content_block_delta\",\"delta\":{\"text\":\"Seen.\"}}\n"
            "data: {\"type\":\"message_stop\"}\n");
        h.mainQueue.runUntilIdle();
    }
    static std::string image(char fill) { return std::string(1000, fill); }
    std::vector<std::string> imagesSent(std::size_t message) {
        const auto body = bodyOf(h.lastStream());
        EXPECT_LE(h.lastStream().request.body->size(), kLimit);
        const auto& entry = body["messages"][message];
        return entry.contains("images") ? entry["images"].get<std::vector<std::string>>()
                                        : std::vector<std::string>{};
    }

    SessionHarness h;
    std::shared_ptr<SessionManager> session;
    std::vector<std::string> errors;
};

TEST_F(ScreenshotBudget, EarlierTurnsGiveUpTheirScreenshotsFirst) {
    ask("what is on screen", {image('a'), image('b')});
    answer();
    ask("and now", {image('c'), image('d')});
    EXPECT_EQ(imagesSent(0), (std::vector<std::string>{image('b')})) << "the oldest went";
    EXPECT_EQ(imagesSent(2), (std::vector<std::string>{image('c'), image('d')}));
    EXPECT_TRUE(errors.empty()) << "the new question keeps all of its own";
}

TEST_F(ScreenshotBudget, ANewTurnTooLargeByItselfKeepsItsNewestAndSaysSo) {
    ask("what is on these", {image('a'), image('b'), image('c'), image('d'), image('e')});
    EXPECT_EQ(imagesSent(0), (std::vector<std::string>{image('c'), image('d'), image('e')}));
    EXPECT_EQ(errors, (std::vector<std::string>{"2 of the 5 screenshots were left out: together "
                                                "they are more than the server takes in one "
                                                "question"}));
}

TEST_F(ScreenshotBudget, ARequestRefusedAsTooLargeDoesNotLockTheConversation) {
    ask("look at this", {image('a')});
    h.lastStream().respond(413);
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(errors, (std::vector<std::string>{"Request failed (HTTP 413)"}));
    ask("what is a mutex", {});
    EXPECT_TRUE(imagesSent(0).empty()) << "the refused screenshots are not sent again";
    answer();
    EXPECT_EQ(session->history().count(), 1);
}

TEST_F(ScreenshotBudget, AFullQueueIsReportedToTheUser) {
    for (int i = 0; i < 6; ++i) session->captureScreenshot(std::nullopt);
    h.settle();
    EXPECT_EQ(session->screenshots().queue().size(), 5u);
    EXPECT_EQ(errors, (std::vector<std::string>{ScreenshotCapture::queueFullMessage}));
}

TEST_F(SessionQuestion, SendScreenshotsKeepsAGivenPrompt) {
    h.session->sendScreenshots("Which bug is this?");
    EXPECT_EQ(bodyOf(h.lastStream())["messages"][0]["content"], "Which bug is this?");
    EXPECT_FALSE(bodyOf(h.lastStream())["messages"][0].contains("images"));
}

TEST_F(SessionQuestion, ABadBackendUrlFailsTheQuestionAndWithdrawsIt) {
    SessionHarness remote;
    auto session = SessionManager::create(
        {remote.mainQueue, remote.background, remote.http, remote.speech, remote.audioSource,
         remote.microphone, remote.screenSource, remote.workspace, remote.auth},
        SessionConfig{"http://api.orvane.com", 1.5});
    std::vector<std::string> errors;
    std::vector<State> states;
    session->onError = [&](const std::string& e) { errors.push_back(e); };
    session->onStateChanged = [&](State s) { states.push_back(s); };
    session->sendToLLM("does this leak my token");
    EXPECT_EQ(errors, (std::vector<std::string>{"Invalid API URL"}));
    EXPECT_TRUE(remote.http.streams.empty());
    remote.mainQueue.runUntilIdle();
    EXPECT_EQ(session->state(), State::idle) << "asked while stopped, it stays stopped";
    EXPECT_EQ(states, (std::vector<State>{State::idle, State::idle}));
    EXPECT_TRUE(session->conversationHistory().empty());
}

TEST_F(SessionQuestion, PushToTalkNeedsARunningSession) {
    h.session->startPushToTalk();
    h.settle();
    EXPECT_TRUE(h.microphone.openedWith.empty());
    h.startListening();
    h.session->startPushToTalk();
    h.settle();
    EXPECT_EQ(h.microphone.openedWith.size(), 1u);
    h.session->stopPushToTalk();
    EXPECT_TRUE(*h.microphone.streamsStopped[0]);
}

TEST_F(SessionQuestion, PushToTalkShowsPrefixedTextAndAsksWhatWasSaid) {
    h.startListening();
    h.session->startPushToTalk();
    h.settle();
    auto& micRecognizer = *h.speech.recognizers.at("en-US");
    auto micTask = micRecognizer.lastTask();
    micTask->deliver("Why");
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.transcripts.back(), "[You] Why");
    h.session->stopPushToTalk();
    h.mainQueue.runUntilIdle();
    EXPECT_TRUE(h.http.streams.empty()) << "the recogniser is hearing out the last words";
    micTask->deliver("Why", true);
    h.mainQueue.runUntilIdle();
    ASSERT_EQ(h.http.streams.size(), 1u) << "a one-word push-to-talk question is still sent";
    EXPECT_EQ(bodyOf(h.lastStream())["messages"].back()["content"], "Why");
}

TEST_F(SessionQuestion, EveryNonEmptyFinishSendsEvenWhileIdleAndRepeated) {
    h.session->mic().onFinished("Tell me more");
    h.session->mic().onFinished("Tell me more");
    h.session->mic().onFinished("");
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.http.streams.size(), 2u);
}

TEST(SessionModel, RawValuesRoundTripAndNothingElseIsAModel) {
    for (const auto model : SessionManager::allModels) {
        EXPECT_EQ(SessionManager::modelFromRawValue(SessionManager::rawValue(model)), model);
    }
    for (const char* other : {"Mini", "", "gpt", "mini "}) {
        EXPECT_FALSE(SessionManager::modelFromRawValue(other)) << other;
    }
}

}  // namespace
}  // namespace orvane::testing
