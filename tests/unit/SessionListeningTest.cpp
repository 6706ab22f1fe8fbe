// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "capture/ScreenshotCapture.h"
#include "capture/SystemAudioCapture.h"
#include "fakes/SessionHarness.h"
#include "text/Text.h"

namespace orvane::testing {
namespace {

using State = SessionManager::State;

class SessionListening : public ::testing::Test {
protected:
    SessionHarness h;
    std::vector<std::string> questions() const {
        std::vector<std::string> sent;
        for (const auto& call : h.http.streams) {
            sent.push_back(nlohmann::json::parse(*call.request.body)["messages"].back()["content"]);
        }
        return sent;
    }
};

TEST_F(SessionListening, StartingSignedOutReportsAndStaysIdle) {
    SessionHarness signedOut(false);
    signedOut.session->startSession();
    EXPECT_EQ(signedOut.errors, (std::vector<std::string>{"Not signed in"}));
    signedOut.settle();
    EXPECT_EQ(signedOut.session->state(), State::idle);
    EXPECT_TRUE(signedOut.states.empty());
    EXPECT_EQ(signedOut.audioSource.opens, 0);
}

TEST_F(SessionListening, StartOpensCaptureAndRecognitionThenListens) {
    h.session->startSession();
    EXPECT_TRUE(h.states.empty()) << "state changes are reported asynchronously";
    h.settle();
    EXPECT_EQ(h.session->state(), State::listening);
    EXPECT_EQ(h.states, (std::vector<State>{State::listening}));
    EXPECT_EQ(h.audioSource.opens, 1);
    EXPECT_EQ(h.audioSource.lastThreadLabel, "com.orvane.audio-capture");
    ASSERT_EQ(h.recognizer().requests.size(), 1u);
    const auto& options = h.recognizer().requests[0]->options;
    EXPECT_TRUE(options.shouldReportPartialResults);
    EXPECT_FALSE(options.contextualStrings.empty()) << "the interview vocabulary as hints";
    EXPECT_TRUE(h.errors.empty());
}

TEST_F(SessionListening, RecognitionNotAllowedLeavesCaptureOffAndSaysWhy) {
    h.speech.status = SpeechAuthorizationStatus::denied;
    h.startListening();
    h.speech.status = SpeechAuthorizationStatus::restricted;
    h.startListening();
    EXPECT_EQ(h.errors,
              (std::vector<std::string>{"Speech recognition permission denied.",
                                        "Speech recognition is not available on this computer."}));
    EXPECT_EQ(h.session->state(), State::idle);
    EXPECT_EQ(h.audioSource.opens, 0);
}

TEST_F(SessionListening, StartingTwiceDoesNothingMore) {
    h.startListening();
    h.session->startSession();
    h.settle();
    EXPECT_EQ(h.audioSource.opens, 1);
    EXPECT_EQ(h.recognizer().tasks.size(), 1u);
    h.session->sendToLLM("a question while processing");
    h.session->startSession();
    h.settle();
    EXPECT_EQ(h.audioSource.opens, 1);
}

TEST_F(SessionListening, StopWhileAuthorizationIsPendingCancelsTheStart) {
    h.speech.deferAuthorization = true;
    h.session->startSession();
    h.session->startSession();
    EXPECT_EQ(h.speech.pendingAuthorizations.size(), 1u) << "one start at a time";
    h.session->stopSession();
    h.speech.answerAuthorization(SpeechAuthorizationStatus::authorized);
    h.settle();
    EXPECT_EQ(h.session->state(), State::idle);
    EXPECT_EQ(h.audioSource.opens, 0);
    EXPECT_TRUE(h.recognizer().tasks.empty());
}

TEST_F(SessionListening, UnavailableRecognizerStillListensButHearsNothing) {
    h.recognizer().available = false;
    h.startListening();
    EXPECT_EQ(h.errors, (std::vector<std::string>{"Speech recognition not available: no speech "
                                                  "model for en-US is installed"}));
    EXPECT_EQ(h.session->state(), State::listening);
    EXPECT_EQ(h.audioSource.opens, 1);
    EXPECT_TRUE(h.recognizer().tasks.empty());
    EXPECT_TRUE(h.transcripts.empty());
}

TEST_F(SessionListening, EachResultReplacesTheTranscript) {
    h.startListening();
    h.hear("what is");
    h.hear("what is a closure");
    EXPECT_EQ(h.transcripts, (std::vector<std::string>{"what is", "what is a closure"}));
    EXPECT_EQ(h.session->currentTranscript(), "what is a closure");
}

struct UtteranceCase {
    const char* heard;
    bool sent;
};

class UtteranceRule : public SessionListening,
                      public ::testing::WithParamInterface<UtteranceCase> {};

TEST_P(UtteranceRule, SendsTwoWordsOrEightCharacters) {
    h.startListening();
    h.hear(GetParam().heard);
    h.mainQueue.advance(1.5);
    EXPECT_EQ(h.http.streams.size(), GetParam().sent ? 1u : 0u) << GetParam().heard;
    if (GetParam().sent) {
        EXPECT_EQ(questions().back(),
                  std::string(text::trimWhitespaceAndNewlines(GetParam().heard)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UtteranceRule,
    ::testing::Values(UtteranceCase{"Hello", false}, UtteranceCase{"abcdefg", false},
                      UtteranceCase{"abcdefgh", true}, UtteranceCase{"Kubernetes", true},
                      UtteranceCase{"a  b", true}, UtteranceCase{"  okay  ", false},
                      UtteranceCase{"\u00FCberalle", true}, UtteranceCase{"\u00FCberall", false},
                      UtteranceCase{"what is SQL", true}));

TEST_F(SessionListening, SilenceTimerIsPushedBackByEveryResult) {
    h.startListening();
    h.hear("tell me");
    h.mainQueue.advance(1.0);
    h.hear("tell me about");
    h.mainQueue.advance(1.0);
    h.hear("tell me about yourself");
    h.mainQueue.advance(1.49);
    EXPECT_TRUE(h.http.streams.empty());
    h.mainQueue.advance(0.02);
    EXPECT_EQ(questions(), (std::vector<std::string>{"tell me about yourself"}));
}

TEST_F(SessionListening, ARevisionReplacesTheQuestionButKeepsTheSilenceRunning) {
    h.startListening();
    h.hear("what is a hash");
    h.mainQueue.advance(1.2);
    h.recognizer().lastTask()->handler(SpeechRecognitionResult{"What is a hash map?", false, true},
                                       std::nullopt);
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.transcripts.back(), "What is a hash map?");
    h.mainQueue.advance(0.31);
    EXPECT_EQ(questions(), (std::vector<std::string>{"What is a hash map?"}))
        << "sent 1.5 s after the last words, as without a second pass";
}

TEST_F(SessionListening, TheInterviewContextsNamesReachTheRecogniser) {
    h.session->setSystemContext(
        "Company: Acme Robotics\nRole: Staff Engineer\nAdditional context:\nThey run Postgres "
        "on Kubernetes. The team writes C++ and Next.js; also gRPC.");
    h.startListening();
    EXPECT_EQ(h.recognizer().requests[0]->options.interviewTerms,
              (std::vector<std::string>{"Acme Robotics", "Staff Engineer", "Postgres", "Kubernetes",
                                        "C++", "Next.js", "gRPC"}));
}

TEST_F(SessionListening, UtteranceEndRestartsRecognitionAfterAShortPause) {
    h.startListening();
    auto first = h.recognizer().lastTask();
    h.hear("one");
    h.mainQueue.advance(1.5);
    EXPECT_TRUE(h.http.streams.empty()) << "a lone short word is dropped";
    EXPECT_TRUE(first->cancelled);
    EXPECT_TRUE(first->request->ended);
    h.mainQueue.advance(0.29);
    EXPECT_EQ(h.recognizer().tasks.size(), 1u);
    h.mainQueue.advance(0.02);
    ASSERT_EQ(h.recognizer().tasks.size(), 2u);
    EXPECT_EQ(h.recognizer().runningTasks(), 1u);
    EXPECT_TRUE(h.session->currentTranscript().empty());
}

TEST_F(SessionListening, BlankTranscriptNeitherSendsNorRestarts) {
    h.startListening();
    h.hear("   ");
    h.mainQueue.advance(2);
    EXPECT_TRUE(h.http.streams.empty());
    EXPECT_EQ(h.recognizer().tasks.size(), 1u);
    EXPECT_FALSE(h.recognizer().lastTask()->cancelled);
}

TEST_F(SessionListening, UtteranceRuleIgnoresStateAndRepeats) {
    h.startListening();
    for (int i = 0; i < 2; ++i) {
        h.hear("same question again");
        h.mainQueue.advance(1.9);
    }
    EXPECT_EQ(questions(),
              (std::vector<std::string>{"same question again", "same question again"}));
    EXPECT_EQ(h.session->state(), State::processing);
}

TEST_F(SessionListening, NoRestartOnceStopped) {
    h.startListening();
    h.hear("what is a monad");
    h.mainQueue.advance(1.5);
    h.session->stopSession();
    h.mainQueue.advance(1);
    EXPECT_EQ(h.recognizer().tasks.size(), 1u);
}

TEST_F(SessionListening, ServiceErrorsRestartOthersAreIgnored) {
    h.startListening();
    h.recognizer().lastTask()->fail(SpeechRecognitionError::Kind::other,
                                    "The operation couldn't be completed.");
    h.recognizer().lastTask()->fail(SpeechRecognitionError::Kind::modelUnavailable, "No model");
    h.recognizer().lastTask()->fail(SpeechRecognitionError::Kind::cancelled,
                                    "the service failed, the text says, but it was a cancel");
    h.mainQueue.advance(1);
    EXPECT_EQ(h.recognizer().tasks.size(), 1u);
    EXPECT_FALSE(h.recognizer().lastTask()->cancelled);

    h.recognizer().lastTask()->fail(SpeechRecognitionError::Kind::serviceFailed, "Retry");
    h.mainQueue.runUntilIdle();
    EXPECT_TRUE(h.recognizer().lastTask()->cancelled);
    h.mainQueue.advance(0.3);
    EXPECT_EQ(h.recognizer().tasks.size(), 2u);
    EXPECT_TRUE(h.errors.empty()) << "recognition errors are never shown";
}

TEST_F(SessionListening, ReportsOfAnEndedRecognitionAreIgnored) {
    h.startListening();
    auto old = h.recognizer().lastTask();
    h.hear("how do you scale a database");
    h.mainQueue.advance(1.5);
    h.mainQueue.advance(0.3);
    old->deliver("how do you scale a database", true);
    old->fail(SpeechRecognitionError::Kind::serviceFailed, "late failure");
    h.mainQueue.advance(5);
    EXPECT_EQ(h.http.streams.size(), 1u) << "no second question from a stale result";
    EXPECT_EQ(h.recognizer().tasks.size(), 2u);
    EXPECT_EQ(h.recognizer().runningTasks(), 1u);
}

TEST_F(SessionListening, LocaleChangeTakesEffectAtTheNextRestart) {
    auto german = std::make_shared<ScriptedRecognizer>();
    h.speech.recognizers["de-DE"] = german;
    h.startListening();
    h.session->setTranscriptionLocale("de-DE");
    EXPECT_EQ(h.session->transcriptionLocale(), "de-DE");
    EXPECT_TRUE(german->tasks.empty());
    h.hear("was ist ein Index");
    h.mainQueue.advance(1.8);
    EXPECT_EQ(german->tasks.size(), 1u);
    EXPECT_EQ(h.recognizer().runningTasks(), 0u);
}

TEST_F(SessionListening, LocaleWithoutRecognizerStopsHearingAfterTheNextUtterance) {
    h.startListening();
    h.session->setTranscriptionLocale("ja-JP");
    h.hear("what is Docker");
    h.mainQueue.advance(1.8);
    EXPECT_EQ(h.errors, (std::vector<std::string>{"Speech recognition not available: no speech "
                                                  "model for ja-JP is installed"}));
    EXPECT_EQ(h.recognizer().runningTasks(), 0u);
}

TEST_F(SessionListening, AudioReachesOnlyTheCurrentRequest) {
    h.startListening();
    h.audioSource.handlers.onBuffer(AudioBuffer{48000, 1, std::vector<float>(480, 0.1f)});
    h.audioSource.handlers.onBuffer(AudioBuffer{48000, 1, {}});
    h.mainQueue.runUntilIdle();
    auto first = h.recognizer().requests[0];
    EXPECT_EQ(first->appended.size(), 1u) << "an empty block is dropped";

    // What the interviewer says while recognition restarts is heard by the next one, first.
    h.hear("explain event sourcing");
    h.mainQueue.advance(1.5);
    h.audioSource.handlers.onBuffer(AudioBuffer{48000, 1, std::vector<float>(480, 0.2f)});
    h.mainQueue.advance(0.3);
    h.audioSource.handlers.onBuffer(AudioBuffer{48000, 1, std::vector<float>(480, 0.3f)});
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(first->appended.size(), 1u);
    const auto& next = h.recognizer().requests[1]->appended;
    ASSERT_EQ(next.size(), 2u);
    EXPECT_EQ(next[0].samples[0], 0.2f);
    EXPECT_EQ(next[1].samples[0], 0.3f);

    // Only the last few seconds are kept while none runs.
    h.hear("and what about snapshots");
    h.mainQueue.advance(1.5);
    for (int i = 0; i < 100; ++i) {
        h.audioSource.handlers.onBuffer(AudioBuffer{48000, 1, std::vector<float>(4800)});
    }
    h.mainQueue.advance(0.3);
    EXPECT_EQ(h.recognizer().requests[2]->appended.size(),
              static_cast<std::size_t>(SessionManager::maxGapAudioSeconds * 10));
}

TEST_F(SessionListening, StopEndsCaptureAndClearsTheSessionButKeepsAnswers) {
    h.startListening();
    h.hear("and");
    h.session->startPushToTalk();
    h.mainQueue.runUntilIdle();
    h.session->sendToLLM("what is CAP");
    h.lastStream().respond(200);
    h.lastStream().feed(
        "data: {\"type\":\"content_block_delta\",\"delta\":{\"text\":\"C, A, P\"}}\n"
        "data: {\"type\":\"message_stop\"}\n");
    h.mainQueue.runUntilIdle();
    h.session->captureScreenshot(std::nullopt);
    h.settle();
    ASSERT_EQ(h.session->screenshots().queue().size(), 1u);

    h.session->stopSession();
    h.settle();
    EXPECT_EQ(h.session->state(), State::idle);
    EXPECT_EQ(h.states.back(), State::idle);
    EXPECT_EQ(*h.audioSource.streamStops[0], 2) << "stopped, then released";
    EXPECT_TRUE(*h.microphone.streamsStopped[0]);
    EXPECT_TRUE(h.recognizer().tasks.front()->cancelled) << "the session's recognition";
    EXPECT_TRUE(h.session->conversationHistory().empty());
    EXPECT_TRUE(h.session->screenshots().queue().empty());
    EXPECT_TRUE(h.session->currentTranscript().empty());
    EXPECT_EQ(h.session->history().count(), 1);
    EXPECT_EQ(h.session->lastQuestion(), "what is CAP");
    h.mainQueue.advance(10);
    EXPECT_EQ(h.http.streams.size(), 1u) << "the silence timer died with the session";
}

TEST_F(SessionListening, WhileNoSoundArrivesTheSessionSaysItIsNotHearing) {
    std::vector<bool> hearing;
    h.session->onHearingChanged = [&](bool heard) { hearing.push_back(heard); };
    h.audioSource.nextStatus = AudioSource::OpenStatus::noDevice;
    h.audioSource.nextErrorText = "no sound server is running";
    h.startListening();
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_TRUE(h.errors[0].starts_with("Cannot hear the computer: no sound server is running"));
    EXPECT_EQ(h.session->state(), State::listening);
    EXPECT_FALSE(h.session->isHearing());

    h.audioSource.nextStatus = AudioSource::OpenStatus::opened;
    h.mainQueue.advance(SystemAudioCapture::firstRetrySeconds);
    h.settle();
    EXPECT_TRUE(h.session->isHearing());
    EXPECT_EQ(hearing, (std::vector<bool>{false, true}));
    h.hear("it hears again");
    EXPECT_EQ(h.transcripts.back(), "it hears again");
}

TEST_F(SessionListening, StatesAreReportedOncePerChangeWithTheStateAtDelivery) {
    h.startListening();
    h.session->sendToLLM("first question here");
    h.session->completeAssistantMessage("");
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.states, (std::vector<State>{State::listening, State::listening, State::listening}));
}

}  // namespace
}  // namespace orvane::testing
