// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "session/AnswerSettings.h"

namespace orvane {

class HttpClient;
class MainQueue;

// Asks a model provider straight from the app, before its settings are used: one short question
// (the Preferences' Test button), or which models a local server has installed. What fails is said
// in plain words of our own, never the provider's text. Completions arrive on the main queue.
class ProviderCheck : public std::enable_shared_from_this<ProviderCheck> {
public:
    static std::shared_ptr<ProviderCheck> create(HttpClient& http, MainQueue& mainQueue);

    struct Outcome {
        bool ok = false;
        std::string text;  // the model's words, or what went wrong
    };
    void test(const AnswerSettings& settings, const std::string& key,
              std::function<void(Outcome)> completion);

    // The models a server offers: Ollama's installed ones (/api/tags), or any OpenAI-compatible
    // server's list (/models); or, when it does not answer, how to start one.
    using Models = std::variant<std::vector<std::string>, std::string>;
    void listModels(const std::string& baseUrl, std::function<void(Models)> completion);

    static constexpr const char* question = "Say hello to an interview candidate in five words.";
    static constexpr double timeoutSeconds = 20;

private:
    ProviderCheck(HttpClient& http, MainQueue& mainQueue) : m_http(http), m_mainQueue(mainQueue) {}
    void finish(std::function<void(Outcome)> completion, Outcome outcome);
    void finishModels(std::function<void(Models)> completion, Models models);

    HttpClient& m_http;
    MainQueue& m_mainQueue;
};

}  // namespace orvane
