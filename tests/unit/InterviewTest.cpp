// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// A whole interview on virtual time, as a candidate lives it: an hour of questions heard from
// the call, asked by push-to-talk and about screenshots, with small talk between answers, a
// question asked while an answer streams, a three-minute answer, a stop in the middle of an
// answer, an access token running out (its first renewal's reply lost), speech straight after a
// question and the sound server restarting along the way.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "capture/MicCapture.h"
#include "capture/ScreenshotCapture.h"
#include "capture/SystemAudioCapture.h"
#include "fakes/SessionHarness.h"
#include "session/SessionMessages.h"
#include "text/Text.h"

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using State = SessionManager::State;

// Plays the backend: answers each chat request, refusing the access token once it has expired
// and renewing it when asked.
class Backend {
public:
    explicit Backend(SessionHarness& h) : m_h(h) {}

    void expireAccessToken() { m_expired = *m_h.auth.accessToken(); }
    void loseNextRenewalReply() { m_loseRenewalReply = true; }

    // Answers every request not answered yet; renewals are answered too.
    void answerAll() {
        for (bool progress = true; progress;) {
            progress = false;
            while (m_answeredSends < m_h.http.sends.size()) {
                renew(m_h.http.sends[m_answeredSends++]);
                progress = true;
            }
            while (m_answeredStreams < m_h.http.streams.size()) {
                answer(m_h.http.streams[m_answeredStreams++]);
                progress = true;
            }
            m_h.mainQueue.runUntilIdle();
        }
    }
    // The next request is left hanging, as a slow model would.
    FakeHttpClient::StreamCall& holdNext() {
        m_h.mainQueue.runUntilIdle();
        return m_h.http.streams.at(m_answeredStreams++);
    }
    int refusals() const { return m_refusals; }
    int renewals() const { return m_renewals; }

private:
    static std::string bearerOf(const HttpRequest& request) {
        for (const auto& [name, value] : request.headers) {
            if (name == "Authorization") return value.substr(7);
        }
        return {};
    }
    void answer(const FakeHttpClient::StreamCall& call) {
        if (call.task->cancelled) return;
        if (bearerOf(call.request) == m_expired) {
            ++m_refusals;
            call.respond(401);
            call.finish();
            return;
        }
        const std::string question =
            nlohmann::json::parse(*call.request.body)["messages"].back()["content"];
        call.respond(200);
        call.feed(question.find("sounds good") != std::string::npos
                      ? deltaEvent("[SK") + deltaEvent("IP]") + std::string(kStopEvent)
                      : answerEvents("Answer to: " + question));
        call.finish();
    }

    void renew(const FakeHttpClient::SendCall& call) {
        // The backend used the token up, but its reply never arrived.
        if (std::exchange(m_loseRenewalReply, false)) {
            call.completion(HttpResult{std::nullopt, std::nullopt, "Connection reset by peer"});
            m_h.mainQueue.advance(AuthManager::refreshRetryDelay);
            return;
        }
        ++m_renewals;
        const auto n = std::to_string(m_renewals);
        call.completion(HttpResult{HttpResponse{200},
                                   nlohmann::json{{"accessToken", "access-" + n},
                                                  {"refreshToken", "refresh-" + n},
                                                  {"user", {{"firstName", "Ada"}}}}
                                       .dump(),
                                   std::nullopt});
    }

    SessionHarness& m_h;
    std::string m_expired;
    std::size_t m_answeredStreams = 0;
    std::size_t m_answeredSends = 0;
    int m_refusals = 0;
    int m_renewals = 0;
    bool m_loseRenewalReply = false;
};

class Interview : public ::testing::Test {
protected:
    Interview() { h.auth.setRefreshToken("refresh-0"); }

    void minutePasses(double minutes = 1) { h.mainQueue.advance(60 * minutes); }
    // The session's running recognition, told from push-to-talk's by its vocabulary hints.
    void hear(const std::string& text) {
        const auto& tasks = h.recognizer().tasks;
        const auto task = std::find_if(tasks.rbegin(), tasks.rend(), [](const auto& t) {
            return !t->cancelled && !t->request->options.contextualStrings.empty();
        });
        ASSERT_NE(task, tasks.rend()) << "the session is hearing";
        (*task)->deliver(text);
        h.mainQueue.runUntilIdle();
    }
    // The interviewer asks; the recogniser hears it and the silence ends it.
    void interviewerAsks(const std::string& question) {
        hear(question);
        h.mainQueue.advance(h.session->silenceThreshold() + 0.1);
        asked.push_back(question);
        backend.answerAll();
        h.mainQueue.advance(SessionManager::recognitionRestartDelay);
    }
    void candidateAsks(const std::string& question) {
        h.session->startPushToTalk();
        h.settle();
        auto task = h.speech.recognizers.at("en-US")->lastTask();
        task->deliver(question);
        h.session->stopPushToTalk();
        task->deliver(question, true);
        asked.push_back(question);
        h.settle();
        backend.answerAll();
    }
    // Small talk the model declines; the panel keeps what it showed.
    void interviewerChats(const std::string& words) {
        hear(words);
        h.mainQueue.advance(h.session->silenceThreshold() + 0.1);
        backend.answerAll();
        h.mainQueue.advance(SessionManager::recognitionRestartDelay);
    }
    void askAboutScreenshots(int count) {
        for (int i = 0; i < count; ++i) h.session->captureScreenshot(42);
        h.settle();
        h.session->sendScreenshots("");
        asked.push_back(messages::screenshotPrompt);
        backend.answerAll();
    }

    SessionHarness h;
    Backend backend{h};
    std::vector<std::string> asked;
};

TEST_F(Interview, AnHourOfQuestionsKeepsEveryAnswer) {
    h.startListening();
    int skipped = 0;
    h.session->onAnswerSkipped = [&skipped] { ++skipped; };
    int minute = 0;
    const auto question = [&minute](const char* kind) {
        return std::string(kind) + " question at minute " + std::to_string(minute);
    };
    std::vector<std::string> cut;
    for (; minute < 60; ++minute) {
        if (minute == 15) {
            backend.expireAccessToken();
            backend.loseNextRenewalReply();
        }
        if (minute == 30) {
            // The sound server restarts: the capture is lost, then rejoined.
            h.audioSource.handlers.onEnded("Connection terminated");
            h.settle();
            EXPECT_FALSE(h.session->isHearing());
            h.mainQueue.advance(SystemAudioCapture::firstRetrySeconds);
            h.settle();
            EXPECT_TRUE(h.session->isHearing());
        }
        if (minute == 42) {
            // The candidate stops in the middle of an answer and starts again.
            hear(question("interrupted"));
            h.mainQueue.advance(h.session->silenceThreshold() + 0.1);
            auto& streaming = backend.holdNext();
            streaming.respond(200);
            h.session->stopSession();
            h.settle();
            EXPECT_EQ(h.session->state(), State::idle);
            h.startListening();
            EXPECT_EQ(h.session->state(), State::listening);
        } else if (minute == 21) {
            // The interviewer asks again while the answer still streams: the first is kept as
            // far as it came.
            hear(question("overtaken"));
            h.mainQueue.advance(h.session->silenceThreshold() + 0.1);
            auto& streaming = backend.holdNext();
            streaming.respond(200);
            streaming.feed(deltaEvent("Half an answer"));
            h.mainQueue.runUntilIdle();
            asked.push_back(question("overtaken"));
            cut.push_back(SessionManager::cutShort("Half an answer", "A new question was asked."));
            h.mainQueue.advance(SessionManager::recognitionRestartDelay);
            interviewerAsks(question("overtaking"));
        } else if (minute == 25) {
            // A design question answered for three minutes: it streams until its end.
            hear(question("design"));
            h.mainQueue.advance(h.session->silenceThreshold() + 0.1);
            auto& streaming = backend.holdNext();
            streaming.respond(200);
            std::string answer;
            for (int second = 0; second < 180; ++second) {
                streaming.feed(deltaEvent("word "));
                answer += "word ";
                h.mainQueue.advance(1);
            }
            streaming.feed("data: {\"type\":\"message_stop\"}\n");
            streaming.finish();
            h.mainQueue.runUntilIdle();
            asked.push_back(question("design"));
            cut.push_back(std::string(text::trimWhitespaceAndNewlines(answer)));
        } else if (minute == 33) {
            // The interviewer goes straight on: the first words come while hearing restarts.
            interviewerAsks(question("first of two"));
            h.audioSource.handlers.onBuffer(AudioBuffer{48000, 1, std::vector<float>(480, 0.5f)});
            h.settle();
            const auto& appended = h.recognizer().requests.back()->appended;
            ASSERT_FALSE(appended.empty());
            EXPECT_EQ(appended.front().samples.front(), 0.5f) << "the gap's words are heard";
        } else if (minute % 10 == 3) {
            candidateAsks(question("push-to-talk"));
        } else if (minute % 15 == 7) {
            askAboutScreenshots(2);
        } else if (minute % 3 != 1 && minute % 8 != 0) {
            interviewerAsks(question("interviewer"));
        } else if (minute % 8 == 0 && minute > 0) {
            const auto before = h.answers.size();
            interviewerChats("okay great, sounds good");
            ASSERT_EQ(h.answers.size(), before + 1);
            EXPECT_EQ(h.answers.back(), "") << "small talk shows nothing of its own";
        }
        minutePasses();
    }

    EXPECT_EQ(asked.size() + 1, 42u) << "forty-two questions, one of them stopped midway";
    EXPECT_EQ(skipped, 7) << "small talk at minutes 8, 16, 24, 32, 40, 48 and 56";
    const auto& pairs = h.session->history().pairs();
    ASSERT_EQ(pairs.size(), asked.size());
    for (std::size_t i = 0, special = 0; i < pairs.size(); ++i) {
        EXPECT_EQ(pairs[i].question, asked[i]);
        const bool isSpecial = asked[i].starts_with("overtaken") || asked[i].starts_with("design");
        EXPECT_EQ(pairs[i].answer, isSpecial ? cut.at(special++) : "Answer to: " + asked[i]);
    }
    for (const auto& answer : h.answers) {
        EXPECT_THAT(answer, Not(HasSubstr("[S"))) << "the marker was shown: " << answer;
    }
    const auto& turns = h.session->conversationHistory();
    for (std::size_t i = 1; i < turns.size(); ++i) {
        EXPECT_NE(turns[i].role, turns[i - 1].role) << "turn " << i;
    }
    EXPECT_EQ(h.session->history().currentIndex(), static_cast<int>(pairs.size()) - 1);
    EXPECT_EQ(h.session->state(), State::listening);
    EXPECT_TRUE(h.session->isHearing());
    EXPECT_FALSE(h.session->isAwaitingAnswer());
    EXPECT_EQ(backend.refusals(), 1) << "the token ran out once and was renewed once";
    EXPECT_EQ(backend.renewals(), 1);
    EXPECT_LE(turns.size(), SessionManager::maxConversationTurns);
    EXPECT_TRUE(h.errors.front().starts_with("Audio capture stopped"))
        << "the one thing said was the lost sound";
    EXPECT_EQ(h.errors.size(), 1u);
    EXPECT_TRUE(h.session->screenshots().queue().empty());
    EXPECT_EQ(h.screenSource.captures.size(), 8u);
    for (const auto& capture : h.screenSource.captures) {
        ASSERT_EQ(capture.excluded.size(), 1u) << "the panel is never in the picture";
    }
}

}  // namespace
}  // namespace orvane::testing
