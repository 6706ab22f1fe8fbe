// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "accounts/AuthManager.h"
#include "adapters/curl/CurlHttpClient.h"
#include "adapters/null/NullPlatform.h"
#include "adapters/std/RunLoop.h"
#include "crypto/OpenSslCrypto.h"
#include "fakes/ManualBackgroundQueue.h"
#include "fakes/ScriptedAccounts.h"
#include "session/SessionManager.h"

namespace orvane::testing {

// Hands requests to a real client with a shorter idle timeout, so a stalled server is noticed in
// a fraction of a second instead of thirty.
class IdleTimeoutOverride : public HttpClient {
public:
    IdleTimeoutOverride(HttpClient& inner, double idleSeconds)
        : m_inner(inner), m_idleSeconds(idleSeconds) {}
    std::shared_ptr<HttpTask> stream(HttpRequest request,
                                     std::shared_ptr<HttpStreamDelegate> delegate) override {
        request.idleTimeoutSeconds = m_idleSeconds;
        return m_inner.stream(std::move(request), std::move(delegate));
    }
    std::shared_ptr<HttpTask> send(HttpRequest request, Completion completion) override {
        request.idleTimeoutSeconds = m_idleSeconds;
        return m_inner.send(std::move(request), std::move(completion));
    }

private:
    HttpClient& m_inner;
    double m_idleSeconds;
};

// A session manager asking over real HTTP, on a real run loop; records what it reports. Answers
// are kept as sizes plus the last text, so that huge answers cost no quadratic memory.
struct LiveSession {
    RunLoop mainQueue;
    CurlHttpClient curl;
    IdleTimeoutOverride http;
    ManualBackgroundQueue background;
    NullSpeechService speech;
    NullAudioSource audio;
    NullMicrophone microphone;
    NullScreenSource screen;
    NullWorkspace workspace;
    OpenSslCrypto crypto;
    ScriptedWebAuth webAuth;
    UnavailableAppleSignIn apple;
    AuthManager auth;
    std::shared_ptr<SessionManager> session;

    std::vector<std::size_t> answerSizes;
    std::string lastAnswer;
    std::vector<std::string> errors;
    int answerEnds = 0;

    explicit LiveSession(const std::string& apiBase, double idleTimeoutSeconds = 30)
        : http(curl, idleTimeoutSeconds),
          auth({mainQueue, http, crypto, webAuth, apple},
               AuthConfig{"client", "tneilc", apiBase + "/auth", apiBase + "/token", apiBase}) {
        auth.setAccessToken("live-token");
        session = SessionManager::create(
            {mainQueue, background, http, speech, audio, microphone, screen, workspace, auth},
            SessionConfig{apiBase, 1.5});
        session->onAnswer = [this](const std::string& text) {
            answerSizes.push_back(text.size());
            // Copying every growing text of a huge answer would make the test quadratic.
            if (text.size() <= 64 * 1024) lastAnswer = text;
        };
        session->onError = [this](const std::string& e) { errors.push_back(e); };
        session->onStateChanged = [this](SessionManager::State s) {
            if (s != SessionManager::State::processing) ++answerEnds;
        };
    }

    // Asks and runs the loop until the answer has ended (or the timeout passed).
    bool ask(const std::string& question, int expectedEnds = 1, double timeout = 20) {
        const int target = answerEnds + expectedEnds;
        session->sendToLLM(question);
        const bool ended = mainQueue.runUntil([&] { return answerEnds >= target; }, timeout);
        mainQueue.runUntil([] { return false; }, 0);
        return ended;
    }
};

}  // namespace orvane::testing
