// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// The session on fakes and virtual time: hearing, the utterance rule, questions, their answers,
// renewing the access token, and stopping.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "capture/MicCapture.h"
#include "capture/ScreenshotCapture.h"
#include "capture/SystemAudioCapture.h"
#include "fakes/SessionHarness.h"
#include "session/ChatRequest.h"
#include "session/SessionMessages.h"
#include "session/StreamDelegate.h"
#include "text/Text.h"

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;
using State = SessionManager::State;
using Kind = SpeechRecognitionError::Kind;

const std::string kAnswer = answerEvents("Renewed");

class Session : public ::testing::Test {
protected:
    SessionHarness h;
};

TEST_F(Session, StartingNeedsASignInAndPermissionAndHappensOnce) {
    SessionHarness signedOut(false);
    signedOut.startListening();
    EXPECT_EQ(signedOut.errors, (std::vector<std::string>{messages::notSignedIn}));
    EXPECT_TRUE(signedOut.states.empty());

    h.speech.status = SpeechAuthorizationStatus::denied;
    h.startListening();
    h.speech.status = SpeechAuthorizationStatus::restricted;
    h.startListening();
    EXPECT_EQ(h.errors,
              (std::vector<std::string>{messages::permissionDenied, messages::noSpeechHere}));
    EXPECT_EQ(h.audioSource.opens + signedOut.audioSource.opens, 0);

    h.errors.clear();
    h.speech.status = SpeechAuthorizationStatus::authorized;
    h.session->startSession();
    EXPECT_TRUE(h.states.empty()) << "state changes are reported asynchronously";
    h.session->startSession();
    h.settle();
    EXPECT_EQ(h.states, (std::vector<State>{State::listening}));
    EXPECT_EQ(h.audioSource.opens, 1);
    EXPECT_EQ(h.audioSource.lastThreadLabel, "com.orvane.audio-capture");
    ASSERT_EQ(h.recognizer().requests.size(), 1u);
    EXPECT_TRUE(h.recognizer().requests[0]->options.shouldReportPartialResults);
    EXPECT_FALSE(h.recognizer().requests[0]->options.contextualStrings.empty());
    h.session->sendToLLM("a question while processing");
    h.startListening();
    EXPECT_EQ(h.audioSource.opens, 1);
    EXPECT_EQ(h.recognizer().tasks.size(), 1u);
    EXPECT_TRUE(h.errors.empty());
}

TEST_F(Session, AStopWhileAuthorizationIsPendingCancelsTheStart) {
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

TEST_F(Session, WithoutARecognizerItListensButHearsNothingAndSaysWhy) {
    h.recognizer().available = false;
    h.startListening();
    EXPECT_EQ(h.errors, (std::vector<std::string>{"Speech recognition not available: no speech "
                                                  "model for en-US is installed"}));
    EXPECT_EQ(h.session->state(), State::listening);
    EXPECT_EQ(h.audioSource.opens, 1);
    EXPECT_TRUE(h.recognizer().tasks.empty());

    // A language without a recogniser stops hearing at the next restart; one with starts it.
    SessionHarness other;
    auto german = std::make_shared<ScriptedRecognizer>();
    other.speech.recognizers["de-DE"] = german;
    other.startListening();
    other.session->setTranscriptionLocale("de-DE");
    EXPECT_TRUE(german->tasks.empty()) << "the running recognition keeps its language";
    other.hear("was ist ein Index");
    other.mainQueue.advance(1.8);
    EXPECT_EQ(german->tasks.size(), 1u);
    EXPECT_EQ(other.recognizer().runningTasks(), 0u);
    other.session->setTranscriptionLocale("ja-JP");
    EXPECT_FALSE(other.session->canTranscribe("ja-JP"));
    german->lastTask()->deliver("was ist Docker");
    other.mainQueue.advance(1.8);
    EXPECT_EQ(other.errors.back(),
              "Speech recognition not available: no speech model for ja-JP is installed");
}

struct UtteranceCase {
    const char* heard;
    bool sent;
};

class UtteranceRule : public Session, public ::testing::WithParamInterface<UtteranceCase> {};

TEST_P(UtteranceRule, SendsTwoWordsOrEightCharacters) {
    h.startListening();
    h.hear(GetParam().heard);
    h.mainQueue.advance(1.5);
    const auto trimmed = std::string(text::trimWhitespaceAndNewlines(GetParam().heard));
    EXPECT_EQ(h.questions(),
              GetParam().sent ? std::vector<std::string>{trimmed} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UtteranceRule,
    ::testing::Values(UtteranceCase{"Hello", false}, UtteranceCase{"abcdefg", false},
                      UtteranceCase{"abcdefgh", true}, UtteranceCase{"Kubernetes", true},
                      UtteranceCase{"a  b", true}, UtteranceCase{"  okay  ", false},
                      UtteranceCase{"\u00FCberalle", true}, UtteranceCase{"\u00FCberall", false},
                      UtteranceCase{"what is SQL", true}));

TEST_F(Session, EachResultReplacesTheTranscriptAndPushesTheSilenceBack) {
    h.startListening();
    h.hear("tell me");
    h.mainQueue.advance(1.0);
    h.hear("tell me about");
    h.mainQueue.advance(1.0);
    h.hear("tell me about yourself");
    EXPECT_EQ(h.transcripts,
              (std::vector<std::string>{"tell me", "tell me about", "tell me about yourself"}));
    EXPECT_EQ(h.session->currentTranscript(), "tell me about yourself");
    h.mainQueue.advance(1.49);
    EXPECT_TRUE(h.http.streams.empty());
    h.mainQueue.advance(0.02);
    EXPECT_EQ(h.questions(), (std::vector<std::string>{"tell me about yourself"}));

    // A revision is the same speech heard again: it becomes the question, the silence runs on.
    h.mainQueue.advance(0.3);
    h.hear("what is a hash");
    h.mainQueue.advance(1.2);
    h.recognizer().lastTask()->handler(SpeechRecognitionResult{"What is a hash map?", false, true},
                                       std::nullopt);
    h.mainQueue.runUntilIdle();
    h.mainQueue.advance(0.31);
    EXPECT_EQ(h.questions().back(), "What is a hash map?");
    h.mainQueue.advance(0.3);
    // ...but never makes a question of words the rule drops (a cough heard as "um").
    h.hear("um");
    h.mainQueue.advance(1.2);
    h.recognizer().lastTask()->handler(SpeechRecognitionResult{"What is a hash map?", false, true},
                                       std::nullopt);
    h.mainQueue.advance(0.31);
    EXPECT_EQ(h.questions().size(), 2u);
    h.mainQueue.advance(0.3);

    // Repeats are sent again, whatever the state.
    for (int i = 0; i < 2; ++i) {
        h.hear("same question again");
        h.mainQueue.advance(1.9);
    }
    EXPECT_EQ(h.questions().size(), 4u);
    EXPECT_EQ(h.session->state(), State::processing);
}

// Speech in a language the live recogniser only times: its words are never shown, the second
// pass's are the question, asked when they come even after the silence; words that never come,
// or speech too short to be a question, ask nothing and hearing starts afresh.
TEST_F(Session, SpeechTheLiveRecogniserOnlyTimesIsAskedInTheSecondPassesWords) {
    h.startListening();
    const auto report = [&](const std::string& text, bool isRevision) {
        SpeechRecognitionResult result{text, false, isRevision};
        result.isTimingOnly = !isRevision;
        h.recognizer().lastTask()->handler(result, std::nullopt);
        h.mainQueue.runUntilIdle();
    };
    report("we funk she on eared", false);
    h.mainQueue.advance(1.2);
    report("Wie funktioniert das?", true);
    h.mainQueue.advance(0.31);
    EXPECT_EQ(h.questions(), std::vector<std::string>{"Wie funktioniert das?"});
    EXPECT_EQ(h.transcripts, std::vector<std::string>{"Wie funktioniert das?"});

    h.mainQueue.advance(0.3);
    report("was is tine", false);
    h.mainQueue.advance(1.2);
    report("Was ist ein", true);
    report("was is tine hash map", false);
    h.mainQueue.advance(2.0);
    EXPECT_EQ(h.questions().size(), 1u) << "not the words of the speech's start alone";
    report("Was ist eine Hashmap?", true);
    EXPECT_EQ(h.questions().back(), "Was ist eine Hashmap?");

    for (const auto* unheard : {"an other question", "um"}) {
        h.mainQueue.advance(0.3);
        const auto tasks = h.recognizer().tasks.size();
        report(unheard, false);
        h.mainQueue.advance(1.51 + 3.0);
        h.mainQueue.advance(0.3);
        EXPECT_EQ(h.questions().size(), 2u) << unheard;
        EXPECT_EQ(h.recognizer().tasks.size(), tasks + 1) << unheard;
    }
}

TEST_F(Session, TheInterviewContextsNamesReachTheRecogniser) {
    h.session->setSystemContext(
        "Company: Acme Robotics\nRole: Staff Engineer\nAdditional context:\nThey run Postgres "
        "on Kubernetes. The team writes C++ and Next.js; also gRPC.");
    h.startListening();
    EXPECT_EQ(h.recognizer().requests[0]->options.interviewTerms,
              (std::vector<std::string>{"Acme Robotics", "Staff Engineer", "Postgres", "Kubernetes",
                                        "C++", "Next.js", "gRPC"}));

    // A pasted job description: its sentences' first words are no names, unless the company
    // or the role says so.
    h.session->setSystemContext(
        "Company: Nice Systems\nRole: Backend Engineer\nAdditional context:\nQuestions they "
        "asked:\nTell me about Datadog. How would you shard Cassandra? What is GCP?\nExplain "
        "consistency.\nBuilt services in Go at Google; Built APIs.\nNice to have: Terraform, K8s.");
    h.session->stopSession();
    h.startListening();
    EXPECT_EQ(h.recognizer().requests.back()->options.interviewTerms,
              (std::vector<std::string>{"Nice Systems", "Backend Engineer", "Datadog", "Cassandra",
                                        "GCP", "APIs", "Nice", "Terraform", "K8s"}));

    // A CV's names join them, the first of them only when there are very many.
    std::string cv = "Company: Acme\nCV:\nBuilt Kafka pipelines.";
    for (int i = 0; i < 200; ++i) cv += " Tool" + std::to_string(i);
    h.session->setSystemContext(cv);
    h.session->stopSession();
    h.startListening();
    const auto& terms = h.recognizer().requests.back()->options.interviewTerms;
    ASSERT_EQ(terms.size(), text::maxInterviewTerms);
    EXPECT_EQ(std::vector(terms.begin(), terms.begin() + 3),
              (std::vector<std::string>{"Acme", "Kafka", "Tool0"}));
}

TEST_F(Session, AnUtteranceEndRestartsRecognitionAfterAShortPause) {
    h.startListening();
    auto first = h.recognizer().lastTask();
    h.hear("   ");
    h.mainQueue.advance(2);
    EXPECT_FALSE(first->cancelled) << "a blank transcript neither sends nor restarts";
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

    // Reports of the ended recognition change nothing.
    first->deliver("how do you scale a database", true);
    first->fail(Kind::serviceFailed, "late failure");
    h.mainQueue.advance(5);
    EXPECT_TRUE(h.http.streams.empty());
    EXPECT_EQ(h.recognizer().tasks.size(), 2u);

    h.hear("what is a monad");
    h.mainQueue.advance(1.5);
    h.session->stopSession();
    h.mainQueue.advance(1);
    EXPECT_EQ(h.recognizer().tasks.size(), 2u) << "no restart once stopped";
}

TEST_F(Session, OnlyAFailedServiceRestartsRecognitionAndNoErrorIsShown) {
    h.startListening();
    h.recognizer().lastTask()->fail(Kind::other, "The operation couldn't be completed.");
    h.recognizer().lastTask()->fail(Kind::modelUnavailable, "No model");
    h.recognizer().lastTask()->fail(Kind::cancelled, "the service failed, it says, but no");
    h.mainQueue.advance(1);
    EXPECT_EQ(h.recognizer().tasks.size(), 1u);
    EXPECT_FALSE(h.recognizer().lastTask()->cancelled);
    h.recognizer().lastTask()->fail(Kind::serviceFailed, "Retry");
    h.mainQueue.runUntilIdle();
    EXPECT_TRUE(h.recognizer().lastTask()->cancelled);
    h.mainQueue.advance(0.3);
    EXPECT_EQ(h.recognizer().tasks.size(), 2u);
    EXPECT_TRUE(h.errors.empty());
}

TEST_F(Session, SoundReachesTheCurrentRecognitionAndTheNextHearsTheGap) {
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

TEST_F(Session, WhileNoSoundArrivesItSaysItIsNotHearing) {
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
}

TEST_F(Session, AQuestionGoesOutWithModelContextAndScreenshotsReadWhenSent) {
    std::vector<std::string> order;
    h.session->onStateChanged = [&](State s) {
        order.push_back(s == State::processing ? "processing" : "other");
    };
    h.session->onAnswer = [&](const std::string& a) { order.push_back("answer:" + a); };
    h.session->setSelectedModel(SessionManager::Model::standard);
    h.session->setSystemContext("Company: Acme");
    h.session->sendToLLM("What is a race condition?");
    EXPECT_EQ(h.session->state(), State::processing);
    EXPECT_TRUE(order.empty());
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(order, (std::vector<std::string>{"processing", "answer:"}));
    EXPECT_EQ(h.lastStream().request.url, "https://api.orvane.test/api/v1/ai/chat");
    EXPECT_EQ(h.session->lastQuestion(), "What is a race condition?");
    EXPECT_EQ(h.body(h.lastStream()), nlohmann::json::parse(R"({"model":"standard",
        "systemContext":"Company: Acme",
        "messages":[{"role":"user","content":"What is a race condition?"}]})"));
    h.reply(h.lastStream(), {kAnswer});

    std::vector<int> counts;
    h.session->onScreenshotsChanged = [&](int n) { counts.push_back(n); };
    for (int i = 0; i < 2; ++i) {
        h.screenSource.png = {'p', 'n', 'g', static_cast<std::uint8_t>('0' + i)};
        h.session->captureScreenshot(std::nullopt);
        h.settle();
    }
    h.session->setSelectedModel(SessionManager::Model::nano);
    h.session->setSystemContext("");
    h.session->sendScreenshots("");
    EXPECT_EQ(counts, (std::vector<int>{1, 2, 0}));
    auto body = h.body(h.lastStream());
    EXPECT_EQ(body["model"], "nano") << "screenshots do not change the model";
    EXPECT_FALSE(body.contains("systemContext"));
    EXPECT_EQ(body["messages"][2]["content"], messages::screenshotPrompt);
    EXPECT_EQ(body["messages"][2]["images"], nlohmann::json({"cG5nMA==", "cG5nMQ=="}));
    h.reply(h.lastStream(), {kAnswer});
    h.session->sendScreenshots("Which bug is this?");
    body = h.body(h.lastStream());
    EXPECT_FALSE(body["messages"][2].contains("images")) << "sent with their question only";
    EXPECT_EQ(body["messages"][4]["content"], "Which bug is this?");
    EXPECT_FALSE(body["messages"][4].contains("images"));
}

TEST_F(Session, ASignedOutQuestionOrABadBackendSaysSoAndChangesNothing) {
    SessionHarness signedOut(false);
    signedOut.session->captureScreenshot(std::nullopt);
    signedOut.settle();
    signedOut.session->sendToLLM("why this company");
    EXPECT_EQ(signedOut.errors, (std::vector<std::string>{messages::signInAgain}));
    signedOut.settle();
    EXPECT_TRUE(signedOut.http.streams.empty());
    EXPECT_TRUE(signedOut.states.empty());
    EXPECT_TRUE(signedOut.answers.empty());
    EXPECT_EQ(signedOut.session->screenshots().queue().size(), 1u);

    auto remote = SessionManager::create(h.services(h.auth), {"http://api.orvane.com", 1.5});
    std::vector<std::string> errors;
    std::vector<State> states;
    remote->onError = [&](const std::string& e) { errors.push_back(e); };
    remote->onStateChanged = [&](State s) { states.push_back(s); };
    remote->sendToLLM("does this leak my token");
    EXPECT_EQ(errors, (std::vector<std::string>{messages::invalidApiUrl}));
    EXPECT_TRUE(h.http.streams.empty());
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(states, (std::vector<State>{State::idle, State::idle})) << "asked while stopped";
    EXPECT_TRUE(remote->conversationHistory().empty());
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
    static std::string image(char fill) { return std::string(1000, fill); }
    std::vector<std::string> imagesSent(std::size_t message) {
        const auto body = h.body(h.lastStream());
        EXPECT_LE(h.lastStream().request.body->size(), kLimit);
        const auto& entry = body["messages"][message];
        return entry.contains("images") ? entry["images"].get<std::vector<std::string>>()
                                        : std::vector<std::string>{};
    }

    SessionHarness h;
    std::shared_ptr<SessionManager> session;
    std::vector<std::string> errors;
};

TEST_F(ScreenshotBudget, ANewTurnTooLargeByItselfKeepsItsNewestAndSaysSo) {
    ask("what is on these", {image('a'), image('b'), image('c'), image('d'), image('e')});
    EXPECT_EQ(imagesSent(0), (std::vector<std::string>{image('c'), image('d'), image('e')}));
    EXPECT_EQ(errors, (std::vector<std::string>{"2 of the 5 screenshots were left out: together "
                                                "they are more than the server takes in one "
                                                "question"}));
}

TEST_F(ScreenshotBudget, ARequestRefusedAsTooLargeDoesNotLockTheConversation) {
    ask("look at this", {image('a')});
    h.reply(h.lastStream(), {}, std::nullopt, 413);
    EXPECT_EQ(errors, (std::vector<std::string>{"Request failed (HTTP 413)"}));
    EXPECT_TRUE(session->screenshots().queue().empty()) << "refused, they are not queued again";
    ask("what is a mutex", {});
    EXPECT_TRUE(imagesSent(0).empty());
    h.reply(h.lastStream(), {answerEvents("Seen.")});
    EXPECT_EQ(session->history().count(), 1);

    for (int i = 0; i < 6; ++i) session->captureScreenshot(std::nullopt);
    h.settle();
    EXPECT_EQ(session->screenshots().queue().size(), 5u);
    EXPECT_EQ(errors.back(), ScreenshotCapture::queueFullMessage);
}

TEST_F(Session, PushToTalkAsksWhatWasSaidWhateverItsLength) {
    h.session->startPushToTalk();
    h.settle();
    EXPECT_TRUE(h.microphone.openedWith.empty()) << "only while a session runs";
    h.startListening();
    h.session->startPushToTalk();
    h.settle();
    EXPECT_EQ(h.microphone.openedWith.size(), 1u);
    auto micTask = h.recognizer().lastTask();
    micTask->deliver("Why");
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.transcripts.back(), "[You] Why");
    h.session->stopPushToTalk();
    h.mainQueue.runUntilIdle();
    EXPECT_TRUE(*h.microphone.streamsStopped[0]);
    EXPECT_TRUE(h.http.streams.empty()) << "the recogniser is hearing out the last words";
    micTask->deliver("Why", true);
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.questions(), (std::vector<std::string>{"Why"}));

    // Every non-empty finish asks, also while stopped and also the same words twice.
    h.session->stopSession();
    h.session->mic().onFinished("Tell me more");
    h.session->mic().onFinished("Tell me more");
    h.session->mic().onFinished("");
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.http.streams.size(), 3u);
}

TEST_F(Session, TheCandidatesLinesJoinTheConversationInTurnAndNeverAsk) {
    std::vector<std::string> said;
    h.session->onCandidateTranscript = [&](const std::string& text) { said.push_back(text); };
    h.session->setHearsCandidate(true);
    h.startListening();
    ASSERT_EQ(h.microphone.openedWith.size(), 1u);
    auto candidate = h.recognizer().lastTask();
    const auto sayLine = [&](const std::string& words) {
        candidate->deliver(words);
        h.mainQueue.runUntilIdle();
        h.mainQueue.advance(1.5);
        h.settle();
        ASSERT_TRUE(candidate->request->ended) << "a pause ends the line";
        candidate->deliver(words, true);
        h.mainQueue.runUntilIdle();
        candidate = h.recognizer().lastTask();
    };
    sayLine("I led the Acme migration");
    EXPECT_EQ(said, (std::vector<std::string>{"I led the Acme migration", ""}));
    EXPECT_TRUE(h.http.streams.empty()) << "what the candidate says is never asked";

    auto call = h.ask("What did you migrate?");
    sayLine("It was Postgres");       // while the answer streams: it follows the answer
    sayLine("what did you migrate");  // the speakers heard again
    h.recognizer().tasks[0]->deliver("Right");
    sayLine("Mm hm");  // over the interviewer
    h.reply(call, {answerEvents("Say which database.")});
    const auto messages = SessionHarness::body(call)["messages"];
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0]["content"], candidateTurn("I led the Acme migration").content);
    const auto& turns = h.session->conversationHistory();
    ASSERT_EQ(turns.size(), 4u);
    EXPECT_EQ(turns[3].content, candidateTurn("It was Postgres").content);
    EXPECT_THAT(h.session->interview().markdown(""),
                HasSubstr("\n**You, 00:00:01:** I led the Acme migration\n"));

    const auto opened = h.microphone.openedWith.size();
    h.session->startPushToTalk();  // which has the microphone alone, and gives it back
    h.settle();
    h.session->stopPushToTalk();
    h.settle();
    EXPECT_EQ(h.microphone.openedWith.size(), opened + 2);
}

TEST_F(Session, DeltasGrowTheAnswerAndTheStopRecordsIt) {
    h.startListening();
    h.reply(h.ask("What is idempotency?"),
            {deltaEvent("A"), deltaEvent("B") + deltaEvent("C \n"), std::string(kStopEvent)});
    EXPECT_EQ(h.answers, (std::vector<std::string>{"A", "AB", "ABC \n", "ABC"}));
    ASSERT_EQ(h.session->history().count(), 1);
    EXPECT_EQ(h.session->history().pairs()[0].question, "What is idempotency?");
    EXPECT_EQ(h.session->history().pairs()[0].answer, "ABC");
    ASSERT_EQ(h.session->conversationHistory().size(), 2u);
    EXPECT_EQ(h.session->conversationHistory()[1].role, "assistant");
    EXPECT_EQ(h.session->conversationHistory()[1].content, "ABC");
    EXPECT_EQ(h.states, (std::vector<State>{State::listening}));
    h.reply(h.ask("q two words"), {answerEvents("[skip] lowercase is an answer")});
    EXPECT_EQ(h.session->history().count(), 2) << "the marker is case-sensitive";
    EXPECT_TRUE(h.errors.empty());

    // States are reported once per change, with the state at delivery.
    h.states.clear();
    h.session->sendToLLM("first question here");
    h.session->completeAssistantMessage("");
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.states, (std::vector<State>{State::listening, State::listening}));
}

TEST_F(Session, SmallTalkIsNeverShownAndLeavesNoTrace) {
    h.startListening();
    const std::vector<std::vector<std::string>> declined = {
        {deltaEvent("["), deltaEvent("SK"), deltaEvent("IP]")},
        {deltaEvent("  [SKIP] not a question")},
        {deltaEvent(" \n")},
        {deltaEvent("[skip]")},
        {deltaEvent("**[SK"), deltaEvent("IP]**")},
        {deltaEvent("SKIP")},
        {deltaEvent("`Skip.`")}};
    h.reply(h.ask("What is a mutex?"), {answerEvents("A lock.")});
    int skipped = 0;
    h.session->onAnswerSkipped = [&skipped] { ++skipped; };
    for (auto chunks : declined) {
        h.session->captureScreenshot(std::nullopt);
        h.settle();
        chunks.emplace_back(kStopEvent);
        h.reply(h.ask("okay great thanks"), chunks);
        EXPECT_TRUE(h.answers.empty()) << "nothing of the marker is shown: " << chunks[0];
        EXPECT_EQ(h.session->history().count(), 1);
        ASSERT_EQ(h.session->conversationHistory().size(), 2u) << "as if it had not been asked";
        EXPECT_EQ(h.session->lastQuestion(), "What is a mutex?");
        EXPECT_EQ(h.session->screenshots().queue().size(), 1u) << "its screenshot waits again";
        EXPECT_EQ(h.session->state(), State::listening);
        h.session->screenshots().clear();
    }
    EXPECT_EQ(skipped, 7);
    // Only the marker itself is held back: an answer that merely begins like it is shown whole.
    h.reply(h.ask("what did you skip"),
            {deltaEvent("[SKI"), deltaEvent("PPED the first part"), std::string(kStopEvent)});
    EXPECT_EQ(h.answers,
              (std::vector<std::string>{"[SKIPPED the first part", "[SKIPPED the first part"}));
}

struct StatusCase {
    int status;
    const char* message;
};

class StatusMessages : public Session, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusMessages, AreReportedAndTheBodyIgnored) {
    h.reply(h.ask("what is a deadlock"), {answerEvents("ignored")}, std::nullopt,
            GetParam().status);
    EXPECT_EQ(h.errors, (std::vector<std::string>{GetParam().message}));
    EXPECT_TRUE(h.answers.empty());
    EXPECT_EQ(h.session->history().count(), 0);
    EXPECT_EQ(h.session->state(), State::idle);
}

INSTANTIATE_TEST_SUITE_P(Table, StatusMessages,
                         ::testing::Values(StatusCase{401, messages::sessionExpired},
                                           StatusCase{403, messages::chatForbidden},
                                           StatusCase{404, messages::endpointMissing},
                                           StatusCase{429, messages::tooManyRequests},
                                           StatusCase{500, "Server error (500) -- try again"},
                                           StatusCase{503, "Server error (503) -- try again"},
                                           StatusCase{599, "Server error (599) -- try again"},
                                           StatusCase{600, "Request failed (HTTP 600)"},
                                           StatusCase{204, "Request failed (HTTP 204)"},
                                           StatusCase{302, "Request failed (HTTP 302)"},
                                           StatusCase{400, "Request failed (HTTP 400)"}));

// A failed question is withdrawn, so the turns alternate and its screenshots wait for the next;
// a stream that breaks off, or fails, after text arrived keeps that text, marked as cut short.
TEST_F(Session, FailuresWithdrawTheQuestionAndBrokenStreamsKeepTheirText) {
    h.startListening();
    h.reply(h.ask("what is sharding"), {errorEvent("Overloaded")});
    EXPECT_EQ(h.errors, (std::vector<std::string>{"Overloaded"}));
    EXPECT_TRUE(h.answers.empty());
    h.session->captureScreenshot(std::nullopt);
    h.settle();
    h.reply(h.ask("what is QUIC"), {}, "Connection reset by peer");
    EXPECT_EQ(h.errors.back(), "Stream error: Connection reset by peer");
    EXPECT_EQ(h.session->screenshots().queue().size(), 1u) << "the screenshot waits for the next";
    EXPECT_TRUE(h.session->conversationHistory().empty());

    h.reply(h.ask("what is TCP"), {deltaEvent("Transmission")}, "The request timed out.");
    h.reply(h.ask("what is UDP"), {deltaEvent("User Datagram")});
    h.reply(h.ask("what is load shedding"), {deltaEvent("Partial") + errorEvent("Overloaded")});
    auto call = h.ask("what is a heap");
    call.respond(200);
    call.feed(deltaEvent("Heap"));
    const std::string junk(256 * 1024, 'j');
    int chunks = 0;
    while (call.feed(junk) && ++chunks < 16) {
    }
    EXPECT_LT(chunks, 16) << "an endless line stops the transfer";
    call.finish("cancelled");
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.errors.size(), 2u);
    const auto& pairs = h.session->history().pairs();
    ASSERT_EQ(pairs.size(), 4u);
    EXPECT_EQ(pairs[0].answer, "Transmission\n\n*(Cut short. The request timed out.)*");
    EXPECT_EQ(pairs[0].question, "what is TCP");
    EXPECT_EQ(h.body(h.http.streams[2])["messages"][0]["images"].size(), 1u);
    EXPECT_EQ(pairs[1].answer,
              "User Datagram\n\n*(Cut short. The answer ended before it was complete.)*");
    EXPECT_EQ(pairs[2].answer, "Partial\n\n*(Cut short. Overloaded)*");
    EXPECT_TRUE(pairs[3].answer.starts_with("Heap\n\n*(Cut short. A line")) << pairs[3].answer;
    EXPECT_EQ(h.answers.back(), pairs[3].answer);
    const auto& turns = h.session->conversationHistory();
    for (std::size_t i = 0; i < turns.size(); ++i) {
        EXPECT_EQ(turns[i].role, i % 2 ? "assistant" : "user") << i;
    }
}

TEST_F(Session, AFailedQuestionCanBeAskedAgainUntilAnotherIsAsked) {
    h.reply(h.ask("what is sharding"), {}, std::nullopt, 503);
    ASSERT_TRUE(h.session->canAskAgain());
    h.session->askAgain();
    EXPECT_FALSE(h.session->canAskAgain());
    EXPECT_EQ(h.body(h.lastStream())["messages"].back()["content"], "what is sharding");
    h.reply(h.lastStream(), {answerEvents("Splitting data.")});
    EXPECT_EQ(h.session->history().pairs().at(0).question, "what is sharding");
    h.reply(h.ask("what is a shard key"), {}, std::nullopt, 503);
    h.ask("what is a partition");
    EXPECT_FALSE(h.session->canAskAgain()) << "another question was asked";
}

TEST_F(Session, TheConversationKeepsTheLastTwentyTurns) {
    for (int i = 1; i <= 12; ++i) {
        const auto n = std::to_string(i);
        h.reply(h.ask("question " + n), {answerEvents("answer " + n)});
    }
    const auto& turns = h.session->conversationHistory();
    ASSERT_EQ(turns.size(), 20u);
    EXPECT_EQ(turns.front().content, "question 3");
    EXPECT_EQ(turns.back().content, "answer 12");
    EXPECT_EQ(h.session->history().count(), 12);
    h.ask("question 13");
    EXPECT_EQ(h.body(h.lastStream())["messages"].size(), 21u);
}

// One question is answered at a time: a new one cancels the answer still streaming, which is kept
// as cut short, and nothing the old stream still sends reaches the panel.
TEST_F(Session, ANewQuestionSupersedesTheOneBeingAnswered) {
    h.startListening();
    auto first = h.ask("first stream");
    first.respond(200);
    first.feed(deltaEvent("one "));
    h.mainQueue.runUntilIdle();
    auto second = h.ask("second stream");
    EXPECT_TRUE(first.task->cancelled);
    second.respond(200);
    first.feed(answerEvents("1"));
    second.feed(answerEvents("two"));
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.answers, (std::vector<std::string>{"two", "two"}));
    EXPECT_EQ(h.states, (std::vector<State>{State::listening}));
    const auto cut = SessionManager::cutShort("one", "A new question was asked.");
    const auto& pairs = h.session->history().pairs();
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].question, "first stream");
    EXPECT_EQ(pairs[0].answer, cut);
    EXPECT_EQ(pairs[1].answer, "two");
    std::vector<std::string> turns;
    for (const auto& turn : h.session->conversationHistory()) turns.push_back(turn.content);
    EXPECT_EQ(turns, (std::vector<std::string>{"first stream", cut, "second stream", "two"}));
    // A question superseded before any of its answer came is withdrawn.
    h.ask("third");
    h.reply(h.ask("fourth"), {answerEvents("four")});
    EXPECT_EQ(h.session->conversationHistory()[4].content, "fourth");
    // Results for a session that is gone are dropped.
    auto late = h.ask("what is GC");
    h.session.reset();
    h.reply(late, {answerEvents("late")});
    EXPECT_TRUE(h.answers.empty());
}

// An access token that has run out is renewed with the refresh token and the question asked
// again, without the user noticing; only a refused renewal asks them to sign in again.
class Renewal : public Session {
protected:
    Renewal() {
        h.auth.setRefreshToken("refresh-1");
        h.startListening();
    }
    void askAndExpire(const std::string& question) {
        h.reply(h.ask(question), {}, std::nullopt, 401);
    }
    FakeHttpClient::SendCall& refreshCall() { return h.http.sends.back(); }
    void renew(const std::string& access, const std::string& refresh) {
        refreshCall().completion(HttpResult{
            HttpResponse{200},
            nlohmann::json{
                {"accessToken", access}, {"refreshToken", refresh}, {"user", {{"id", "7"}}}}
                .dump(),
            std::nullopt});
        h.mainQueue.runUntilIdle();
    }
    std::string bearerOf(std::size_t stream) {
        for (const auto& [name, value] : h.http.streams.at(stream).request.headers) {
            if (name == "Authorization") return value;
        }
        return {};
    }
};

TEST_F(Renewal, AnExpiredTokenIsRenewedAndTheSameQuestionSentAgain) {
    askAndExpire("What is a write-ahead log?");
    ASSERT_EQ(h.http.sends.size(), 1u);
    EXPECT_EQ(refreshCall().request.url, "https://api.orvane.test/api/v1/auth/refresh");
    EXPECT_EQ(nlohmann::json::parse(*refreshCall().request.body),
              (nlohmann::json{{"refreshToken", "refresh-1"}}));
    EXPECT_EQ(h.session->state(), State::processing);
    const auto refused = h.http.streams[0];
    EXPECT_TRUE(refused.task->cancelled) << "the refused transfer is cut loose";
    renew("access-2", "refresh-2");
    ASSERT_EQ(h.http.streams.size(), 2u);
    EXPECT_EQ(*h.http.streams[1].request.body, *h.http.streams[0].request.body);
    EXPECT_EQ(bearerOf(1), "Bearer access-2");
    EXPECT_EQ(h.auth.refreshToken(), "refresh-2");
    // Whatever the refused transfer reports later cannot end the question asked again.
    refused.finish("Connection reset by peer");
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.session->state(), State::processing);
    h.reply(h.lastStream(), {kAnswer});
    EXPECT_TRUE(h.errors.empty()) << "nothing is shown while the token is renewed";
    ASSERT_EQ(h.session->history().count(), 1);
    EXPECT_EQ(h.session->conversationHistory().size(), 2u) << "the question went in once";

    // A second refusal after renewing is final: renewed once per question.
    askAndExpire("What is a B-tree?");
    renew("access-3", "refresh-3");
    h.reply(h.lastStream(), {}, std::nullopt, 401);
    EXPECT_EQ(h.http.sends.size(), 2u);
    EXPECT_EQ(h.errors, (std::vector<std::string>{messages::sessionExpired}));
}

TEST_F(Renewal, ARefusedRenewalAsksTheUserToSignInAgain) {
    askAndExpire("What is MVCC?");
    refreshCall().completion(
        HttpResult{HttpResponse{401}, R"({"error":"Invalid refresh token"})", std::nullopt});
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.errors, (std::vector<std::string>{messages::sessionExpired}));
    EXPECT_FALSE(h.auth.refreshToken()) << "a refused token is not offered again";
    askAndExpire("What is MVCC?");
    EXPECT_EQ(h.http.sends.size(), 1u) << "with nothing to renew, the 401 is final";
    EXPECT_EQ(h.errors.size(), 2u);
}

TEST_F(Renewal, ALostReplyIsTriedOnceMoreAndThenSaidKeepingTheSignIn) {
    const HttpResult lost{std::nullopt, std::nullopt, "Connection reset by peer"};
    askAndExpire("What is a lease?");
    refreshCall().completion(lost);
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.http.sends.size(), 1u);
    h.mainQueue.advance(AuthManager::refreshRetryDelay);
    ASSERT_EQ(h.http.sends.size(), 2u);
    EXPECT_EQ(*h.http.sends[1].request.body, *h.http.sends[0].request.body)
        << "the same refresh token, which the backend honours again within its grace";
    renew("access-2", "refresh-2");
    EXPECT_EQ(bearerOf(1), "Bearer access-2");
    EXPECT_TRUE(h.errors.empty());

    askAndExpire("What is Raft?");
    refreshCall().completion(lost);
    h.mainQueue.advance(AuthManager::refreshRetryDelay);
    refreshCall().completion(lost);
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.errors, (std::vector<std::string>{messages::renewalFailed}));
    EXPECT_EQ(h.auth.refreshToken(), "refresh-2");
}

TEST_F(Renewal, ATokenRenewedMeanwhileIsUsedAndASignOutMeanwhileHolds) {
    h.session->sendToLLM("slow question");
    h.mainQueue.runUntilIdle();
    h.auth.setAccessToken("access-2");
    h.reply(h.lastStream(), {}, std::nullopt, 401);
    EXPECT_TRUE(h.http.sends.empty());
    EXPECT_EQ(bearerOf(1), "Bearer access-2");

    askAndExpire("What is a quorum?");
    h.session->stopSession();
    h.auth.signOut();
    renew("access-3", "refresh-3");
    EXPECT_FALSE(h.auth.isAuthenticated());
    EXPECT_EQ(h.http.streams.size(), 3u);
    EXPECT_TRUE(h.errors.empty());
}

// Stopping while an answer streams ends that answer there and then: nothing of it arrives later
// to put a stopped session back into listening.
TEST_F(Session, StoppingMidAnswerCancelsItAndClearsTheSessionButKeepsAnswers) {
    h.startListening();
    h.reply(h.ask("what is CAP"), {answerEvents("C, A, P")});
    h.hear("and");
    h.session->startPushToTalk();
    auto call = h.ask("What is consistent hashing?");
    call.respond(200);
    call.feed(deltaEvent("A ring"));
    h.session->captureScreenshot(std::nullopt);
    h.settle();
    ASSERT_EQ(h.session->screenshots().queue().size(), 1u);
    h.session->stopSession();
    EXPECT_TRUE(call.task->cancelled);
    // What the network had already handed over still reaches the main queue.
    call.feed(kAnswer);
    call.finish();
    h.settle();
    EXPECT_EQ(h.session->state(), State::idle);
    EXPECT_EQ(h.states.back(), State::idle);
    EXPECT_EQ(*h.audioSource.streamStops[0], 2) << "stopped, then released";
    EXPECT_TRUE(*h.microphone.streamsStopped[0]);
    EXPECT_TRUE(h.recognizer().tasks.front()->cancelled);
    EXPECT_TRUE(h.session->conversationHistory().empty());
    EXPECT_TRUE(h.session->screenshots().queue().empty());
    EXPECT_TRUE(h.session->currentTranscript().empty());
    EXPECT_EQ(h.session->history().count(), 1);
    EXPECT_FALSE(h.session->isAwaitingAnswer());
    h.mainQueue.advance(10);
    EXPECT_EQ(h.http.streams.size(), 2u) << "the silence timer died with the session";

    // A question asked while stopped is answered and leaves the session stopped.
    h.reply(h.ask("asked while stopped"), {kAnswer});
    EXPECT_EQ(h.session->state(), State::idle);
    EXPECT_EQ(h.session->history().count(), 2);
    EXPECT_EQ(h.audioSource.opens, 1) << "answering does not start the capture";

    // Starting while one is answered starts hearing and thinks on.
    auto pending = h.ask("and another");
    h.startListening();
    EXPECT_EQ(h.audioSource.opens, 2);
    EXPECT_EQ(h.session->state(), State::processing);
    h.reply(pending, {kAnswer});
    EXPECT_EQ(h.session->state(), State::listening);
}

TEST_F(Session, TheInterviewKeepsEveryQuestionAsItEndedUntilTheNextSessionStarts) {
    h.session->setSystemContext("Company: Acme\nRole: SRE");
    h.startListening();
    h.mainQueue.advance(65);
    h.reply(h.ask("what is CAP"), {answerEvents("C, A, P")});
    h.reply(h.ask("okay great"), {answerEvents("[SKIP]")});
    h.reply(h.ask("what is *raft*"), {}, std::nullopt, 500);
    auto overtaken = h.ask("first stream");
    overtaken.respond(200);
    overtaken.feed(deltaEvent("one "));
    h.mainQueue.runUntilIdle();
    auto stopped = h.ask("what is a B-tree");
    stopped.respond(200);
    stopped.feed(deltaEvent("A tree"));
    h.mainQueue.runUntilIdle();
    h.session->stopSession();

    const auto markdown = h.session->interview().markdown(h.session->systemContext());
    for (const auto& part : {std::string("## Context\n\n> Company: Acme\n> Role: SRE\n"),
                             std::string("### 00:01:05 what is CAP\n\nC, A, P\n"),
                             std::string("### 00:01:05 okay great\n\n*(Skipped"),
                             "### 00:01:05 what is \\*raft\\*\n\n*(Not answered: " +
                                 StreamDelegate::messageForStatus(500),
                             SessionManager::cutShort("one", "A new question was asked."),
                             SessionManager::cutShort("A tree", "The session was stopped.")}) {
        EXPECT_THAT(markdown, HasSubstr(part)) << part << "\nin\n" << markdown;
    }
    h.startListening();
    EXPECT_TRUE(h.session->interview().empty()) << "each session is an interview of its own";
}

// Once the speaker pauses, the question goes ahead unseen, so that its answer is on its way when
// the silence rule asks it; nothing changes on the panel, in the conversation or the history
// until then.
class Prefetch : public ::testing::Test {
protected:
    Prefetch() {
        h.auth.setRefreshToken("refresh-1");
        h.startListening();
    }
    static bool sentAhead(const FakeHttpClient::StreamCall& call) {
        for (const auto& [name, value] : call.request.headers) {
            if (name == ChatRequest::prefetchHeader) return true;
        }
        return false;
    }
    void settle() { h.mainQueue.advance(0.61); }
    void silenceEnds() { h.mainQueue.advance(0.9); }
    SessionHarness h{true, 0.6};
};

TEST_F(Prefetch, ASettledQuestionGoesAheadUnseenAndIsAdoptedWhenTheSilenceAsksIt) {
    h.hear("what is a mutex");
    h.mainQueue.advance(0.59);
    EXPECT_TRUE(h.http.streams.empty());
    h.mainQueue.advance(0.02);
    ASSERT_EQ(h.http.streams.size(), 1u);
    auto call = h.lastStream();
    EXPECT_TRUE(sentAhead(call));
    call.respond(200);
    call.feed(deltaEvent("A lock "));
    h.mainQueue.runUntilIdle();
    EXPECT_TRUE(h.answers.empty()) << "nothing shows before the question is asked";
    EXPECT_EQ(h.session->state(), State::listening);
    EXPECT_TRUE(h.session->conversationHistory().empty());
    EXPECT_TRUE(h.session->isPrefetching());
    silenceEnds();
    EXPECT_EQ(h.http.streams.size(), 1u) << "asked, it is not sent again";
    EXPECT_EQ(h.session->state(), State::processing);
    EXPECT_EQ(h.answers, (std::vector<std::string>{"", "A lock "})) << "what came shows at once";
    h.reply(call, {answerEvents("one thread holds.")});
    EXPECT_EQ(h.session->history().pairs().at(0).answer, "A lock one thread holds.");
    EXPECT_EQ(h.session->conversationHistory().size(), 2u);

    // An answer that came whole before it was asked is recorded at once.
    h.mainQueue.advance(0.3);
    h.hear("what is a semaphore");
    settle();
    h.reply(h.lastStream(), {answerEvents("A counter.")});
    EXPECT_TRUE(h.session->history().count() == 1);
    silenceEnds();
    EXPECT_EQ(h.session->history().pairs().at(1).answer, "A counter.");
    EXPECT_EQ(h.session->state(), State::listening);
}

TEST_F(Prefetch, SpeechGoingOnOrARevisionCancelsItAndItGoesAgainOnceSettled) {
    h.hear("what is a");
    settle();
    h.hear("what is a hash");
    EXPECT_TRUE(h.http.streams[0].task->cancelled) << "the speaker went on";
    settle();
    ASSERT_EQ(h.http.streams.size(), 2u);
    h.recognizer().lastTask()->handler(SpeechRecognitionResult{"What is a hash map?", false, true},
                                       std::nullopt);
    h.mainQueue.runUntilIdle();
    EXPECT_TRUE(h.http.streams[1].task->cancelled) << "the words were heard again, otherwise";
    ASSERT_EQ(h.http.streams.size(), 3u) << "and go again at once, the pause being long enough";
    EXPECT_EQ(h.body(h.http.streams[2])["messages"].back()["content"], "What is a hash map?");
    silenceEnds();
    EXPECT_EQ(h.session->state(), State::processing);
    EXPECT_EQ(h.http.streams.size(), 3u);

    // Speech only timed live goes ahead with its words, once they come.
    h.reply(h.lastStream(), {answerEvents("A table.")});
    h.mainQueue.advance(0.3);
    SpeechRecognitionResult timed{"was is tine hash map", false};
    timed.isTimingOnly = true;
    h.recognizer().lastTask()->handler(timed, std::nullopt);
    settle();
    EXPECT_EQ(h.http.streams.size(), 3u) << "nothing to send ahead before the words";
    h.recognizer().lastTask()->handler(
        SpeechRecognitionResult{"Was ist eine Hashmap?", false, true}, std::nullopt);
    h.mainQueue.runUntilIdle();
    ASSERT_EQ(h.http.streams.size(), 4u);
    EXPECT_TRUE(sentAhead(h.lastStream()));

    // A live recogniser whose words all come as revisions goes ahead once the pause is long
    // enough, however early they came, and its words are the question.
    h.reply(h.lastStream(), {answerEvents("Eine Tabelle.")});
    silenceEnds();
    h.mainQueue.advance(0.3);
    timed.formattedString.clear();
    h.recognizer().lastTask()->handler(timed, std::nullopt);
    h.mainQueue.advance(0.2);
    h.recognizer().lastTask()->handler(SpeechRecognitionResult{"What is a trie?", false, true},
                                       std::nullopt);
    h.mainQueue.advance(0.39);
    EXPECT_EQ(h.http.streams.size(), 4u);
    h.mainQueue.advance(0.02);
    ASSERT_EQ(h.http.streams.size(), 5u);
    EXPECT_TRUE(sentAhead(h.lastStream()));
    silenceEnds();
    EXPECT_EQ(h.http.streams.size(), 5u) << "adopted, not asked again";
    EXPECT_EQ(h.body(h.lastStream())["messages"].back()["content"], "What is a trie?");
}

TEST_F(Prefetch, WhatWasSentAheadGoesWhenTheQuestionChangedTheSessionStopsOrItWasSmallTalk) {
    // A screenshot queued meanwhile changes what is asked: it is asked afresh.
    h.hear("explain this error");
    settle();
    h.session->captureScreenshot(std::nullopt);
    h.settle();
    silenceEnds();
    ASSERT_EQ(h.http.streams.size(), 2u);
    EXPECT_TRUE(h.http.streams[0].task->cancelled);
    EXPECT_FALSE(sentAhead(h.http.streams[1]));
    EXPECT_EQ(h.body(h.http.streams[1])["messages"][0]["images"].size(), 1u);
    h.reply(h.lastStream(), {answerEvents("A null pointer.")});

    // Small talk sent ahead and declined changes nothing when the silence asks it.
    h.mainQueue.advance(0.3);
    int skipped = 0;
    h.session->onAnswerSkipped = [&skipped] { ++skipped; };
    h.answers.clear();
    h.hear("okay sounds good");
    settle();
    h.reply(h.lastStream(), {answerEvents("[SKIP]")});
    silenceEnds();
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(skipped, 1);
    EXPECT_EQ(h.answers, (std::vector<std::string>{""}));
    EXPECT_EQ(h.session->conversationHistory().size(), 2u);

    // One refused for the budget of questions sent ahead is asked as any other.
    h.mainQueue.advance(0.3);
    h.hear("what is a bloom filter");
    settle();
    h.reply(h.lastStream(), {}, std::nullopt, 429);
    silenceEnds();
    EXPECT_FALSE(sentAhead(h.lastStream()));
    EXPECT_EQ(h.body(h.lastStream())["messages"].back()["content"], "what is a bloom filter");
    h.reply(h.lastStream(), {answerEvents("A sketch.")});

    // Stopping drops it; so does a lone short word, which is no question.
    h.mainQueue.advance(0.3);
    h.hear("what about caching");
    settle();
    h.session->stopSession();
    EXPECT_TRUE(h.lastStream().task->cancelled);
    EXPECT_FALSE(h.session->isPrefetching());
}

TEST_F(Prefetch, AnAccessTokenRenewedWhileItWasAheadIsRenewedUnseen) {
    h.hear("what is a write-ahead log");
    settle();
    h.reply(h.lastStream(), {}, std::nullopt, 401);
    ASSERT_EQ(h.http.sends.size(), 1u);
    h.http.sends[0].completion(
        HttpResult{HttpResponse{200},
                   R"({"accessToken":"access-2","refreshToken":"refresh-2","user":{"id":"7"}})",
                   std::nullopt});
    h.mainQueue.runUntilIdle();
    ASSERT_EQ(h.http.streams.size(), 2u);
    EXPECT_TRUE(sentAhead(h.lastStream()));
    EXPECT_TRUE(h.answers.empty());
    EXPECT_TRUE(h.errors.empty());
    silenceEnds();
    h.reply(h.lastStream(), {answerEvents("A log written first.")});
    EXPECT_EQ(h.session->history().pairs().at(0).answer, "A log written first.");
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
