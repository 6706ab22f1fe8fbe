// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <map>
#include <vector>

#include "platform/SpeechRecognizer.h"

namespace orvane::testing {

struct ScriptedRequest : SpeechRecognitionRequest {
    RecognitionOptions options;
    std::vector<AudioBuffer> appended;
    bool ended = false;

    void append(const AudioBuffer& buffer) override { appended.push_back(buffer); }
    void endAudio() override { ended = true; }
};

// A recognition the test drives: deliver() and fail() call the handler as the recogniser thread
// would. cancel() reports the cancellation error, as the platform contract says.
struct ScriptedTask : SpeechRecognitionTask {
    std::shared_ptr<ScriptedRequest> request;
    RecognitionHandler handler;
    bool cancelled = false;

    void cancel() override {
        if (cancelled) return;
        cancelled = true;
        handler(std::nullopt, SpeechRecognitionError{SpeechRecognitionError::Kind::cancelled,
                                                     "Recognition request was canceled"});
    }
    void deliver(const std::string& text, bool isFinal = false) {
        handler(SpeechRecognitionResult{text, isFinal}, std::nullopt);
    }
    void fail(SpeechRecognitionError::Kind kind, const std::string& message) {
        handler(std::nullopt, SpeechRecognitionError{kind, message});
    }
};

struct ScriptedRecognizer : SpeechRecognizer {
    bool available = true;
    std::vector<std::shared_ptr<ScriptedRequest>> requests;
    std::vector<std::shared_ptr<ScriptedTask>> tasks;

    bool isAvailable() const override { return available; }
    std::shared_ptr<SpeechRecognitionRequest> makeRequest(RecognitionOptions options) override {
        auto request = std::make_shared<ScriptedRequest>();
        request->options = std::move(options);
        requests.push_back(request);
        return request;
    }
    std::shared_ptr<SpeechRecognitionTask> recognitionTask(
        std::shared_ptr<SpeechRecognitionRequest> request, RecognitionHandler handler) override {
        auto task = std::make_shared<ScriptedTask>();
        task->request = std::static_pointer_cast<ScriptedRequest>(request);
        task->handler = std::move(handler);
        tasks.push_back(task);
        return task;
    }
    std::shared_ptr<ScriptedTask> lastTask() const {
        return tasks.empty() ? nullptr : tasks.back();
    }
    std::size_t runningTasks() const {
        std::size_t n = 0;
        for (const auto& task : tasks) n += task->cancelled ? 0 : 1;
        return n;
    }
};

// Recognisers per locale; a locale without one yields none. Authorisation answers at once with
// the scripted status, or waits for answerAuthorization() when deferAuthorization is set.
struct ScriptedSpeechService : SpeechService {
    SpeechAuthorizationStatus status = SpeechAuthorizationStatus::authorized;
    bool deferAuthorization = false;
    std::vector<std::function<void(SpeechAuthorizationStatus)>> pendingAuthorizations;
    std::map<std::string, std::shared_ptr<ScriptedRecognizer>> recognizers;
    std::vector<std::string> requestedLocales;

    ScriptedSpeechService() { recognizers["en-US"] = std::make_shared<ScriptedRecognizer>(); }

    void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> completion) override {
        if (deferAuthorization) {
            pendingAuthorizations.push_back(std::move(completion));
        } else {
            completion(status);
        }
    }
    void answerAuthorization(SpeechAuthorizationStatus answer) {
        auto pending = std::move(pendingAuthorizations);
        pendingAuthorizations.clear();
        for (auto& completion : pending) completion(answer);
    }
    std::shared_ptr<SpeechRecognizer> recognizer(const std::string& locale) override {
        requestedLocales.push_back(locale);
        auto it = recognizers.find(locale);
        return it == recognizers.end() ? nullptr : it->second;
    }
};

}  // namespace orvane::testing
