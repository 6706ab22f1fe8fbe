// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
#include <vector>

#include "accounts/AuthManager.h"
#include "fakes/EventStream.h"
#include "fakes/ScriptedAccounts.h"
#include "fakes/SessionFakes.h"
#include "session/SessionManager.h"

namespace orvane::testing {

// A session manager on fakes and virtual time, with every callback recorded. The account state
// renews its tokens through the same scripted network.
struct SessionHarness : SessionFakes {
    static constexpr const char* apiBase = "https://api.orvane.test";

    ScriptedCrypto crypto;
    ScriptedWebAuth webAuth;
    ScriptedAppleSignIn apple;
    AuthManager auth{{mainQueue, http, crypto, webAuth, apple},
                     AuthConfig{"client", "tneilc", "https://accounts.example.test/auth",
                                "https://accounts.example.test/token", apiBase}};
    std::shared_ptr<SessionManager> session;

    std::vector<SessionManager::State> states;
    std::vector<std::string> transcripts;
    std::vector<std::string> answers;
    std::vector<std::string> errors;

    // Nothing is sent ahead of the silence rule unless a test asks for it (prefetchDelay).
    explicit SessionHarness(bool signedIn = true, double prefetchDelay = 0) {
        if (signedIn) auth.setAccessToken("token-123");
        SessionConfig config{apiBase, 1.5};
        config.prefetchDelay = prefetchDelay;
        session = SessionManager::create(services(auth), config);
        session->onStateChanged = [this](SessionManager::State s) { states.push_back(s); };
        session->onTranscript = [this](const std::string& t) { transcripts.push_back(t); };
        session->onAnswer = [this](const std::string& a) { answers.push_back(a); };
        session->onError = [this](const std::string& e) { errors.push_back(e); };
    }

    ScriptedRecognizer& recognizer() { return *speech.recognizers.at("en-US"); }

    // Starts a session and lets everything it queued run.
    void startListening() {
        session->startSession();
        settle();
    }
    void settle() {
        mainQueue.runUntilIdle();
        background.runAll();
        mainQueue.runUntilIdle();
    }
    // The recogniser reports the utterance so far.
    void hear(const std::string& text) {
        recognizer().lastTask()->deliver(text);
        mainQueue.runUntilIdle();
    }
    FakeHttpClient::StreamCall& lastStream() { return http.streams.back(); }
    // Asks and lets what it queued run; what was reported before is forgotten.
    FakeHttpClient::StreamCall ask(const std::string& question) {
        session->sendToLLM(question);
        mainQueue.runUntilIdle();
        answers.clear();
        states.clear();
        return lastStream();
    }
    // The backend answers: a status, the chunks, then the end or a transport error.
    void reply(const FakeHttpClient::StreamCall& call, const std::vector<std::string>& chunks,
               std::optional<std::string> error = std::nullopt, int status = 200) {
        call.respond(status);
        for (const auto& chunk : chunks) call.feed(chunk);
        call.finish(error);
        mainQueue.runUntilIdle();
    }
    // What each request asked: its last user turn.
    std::vector<std::string> questions() const {
        std::vector<std::string> sent;
        for (const auto& call : http.streams)
            sent.push_back(body(call)["messages"].back()["content"]);
        return sent;
    }
    static nlohmann::json body(const FakeHttpClient::StreamCall& call) {
        return nlohmann::json::parse(*call.request.body);
    }
};

}  // namespace orvane::testing
