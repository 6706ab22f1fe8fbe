// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// A whole interview on virtual time, as a candidate lives it: an hour of questions heard from
// the call, asked by push-to-talk and about screenshots, with a stop in the middle of an answer,
// an access token running out and the sound server restarting along the way.

#include <gtest/gtest.h>

#include "capture/MicCapture.h"
#include "capture/ScreenshotCapture.h"
#include "capture/SystemAudioCapture.h"
#include "fakes/SessionHarness.h"

namespace orvane::testing {
namespace {

using State = SessionManager::State;

// Plays the backend: answers each chat request, refusing the access token once it has expired
// and renewing it when asked.
class Backend {
public:
    explicit Backend(SessionHarness& h) : m_h(h) {}

    void expireAccessToken() { m_expired = *m_h.auth.accessToken(); }

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
        const auto body = nlohmann::json::parse(*call.request.body);
        const std::string question = body["messages"].back()["content"];
        call.respond(200);
        call.feed(event("Answer to: " + question));
        call.feed("data: {\"type\":\"message_stop\"}\n");
        call.finish();
    }
    static std::string event(const std::string& text) {
        return "data: " +
               nlohmann::json{{"type", "content_block_delta"}, {"delta", {{"text", text}}}}.dump() +
               "\n";
    }
    void renew(const FakeHttpClient::SendCall& call) {
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
    void askAboutScreenshots(int count) {
        for (int i = 0; i < count; ++i) h.session->captureScreenshot(42);
        h.settle();
        h.session->sendScreenshots("");
        asked.push_back("What do you see in these screenshots?");
        backend.answerAll();
    }

    SessionHarness h;
    Backend backend{h};
    std::vector<std::string> asked;
};

TEST_F(Interview, AnHourOfQuestionsKeepsEveryAnswer) {
    h.startListening();
    int minute = 0;
    const auto question = [&minute](const char* kind) {
        return std::string(kind) + " question at minute " + std::to_string(minute);
    };
    for (; minute < 60; ++minute) {
        if (minute == 15) backend.expireAccessToken();
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
        } else if (minute % 10 == 3) {
            candidateAsks(question("push-to-talk"));
        } else if (minute % 15 == 7) {
            askAboutScreenshots(2);
        } else if (minute % 3 != 1 && minute % 8 != 0) {
            interviewerAsks(question("interviewer"));
        }
        minutePasses();
    }

    EXPECT_EQ(asked.size() + 1, 40u) << "forty questions, one of them stopped midway";
    const auto& pairs = h.session->history().pairs();
    ASSERT_EQ(pairs.size(), asked.size());
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        EXPECT_EQ(pairs[i].question, asked[i]);
        EXPECT_EQ(pairs[i].answer, "Answer to: " + asked[i]);
    }
    EXPECT_EQ(h.session->history().currentIndex(), 38);
    EXPECT_EQ(h.session->state(), State::listening);
    EXPECT_TRUE(h.session->isHearing());
    EXPECT_EQ(h.session->pendingAnswers(), 0u);
    EXPECT_EQ(backend.refusals(), 1) << "the token ran out once and was renewed once";
    EXPECT_EQ(backend.renewals(), 1);
    EXPECT_LE(h.session->conversationHistory().size(), SessionManager::maxConversationTurns);
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
