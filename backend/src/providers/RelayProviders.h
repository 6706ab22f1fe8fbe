// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "protocol/ProviderErrors.h"
#include "providers/ModelProvider.h"

namespace orvane::backend {

struct UpstreamConfig {
    std::string baseUrl;  // e.g. "https://api.anthropic.com" or "http://127.0.0.1:8080/v1"
    std::string apiKey;   // empty when the upstream needs none
    std::string model;    // the upstream's model name for this tier
    int timeoutSeconds = 60;
    // Told what the provider itself said when it failed, for the server's log.
    std::function<void(const std::string&)> log;
};

// Relays to an upstream Messages API with streaming. Its events are the ones Orvane speaks, so
// text deltas pass through and everything else upstream sends is dropped. Screenshots go as image
// blocks; a model that refuses them gets the question without, and the answer says so.
class AnthropicProvider : public ModelProvider {
public:
    explicit AnthropicProvider(UpstreamConfig config) : m_config(std::move(config)) {}
    void answer(const chat::Request& input, AnswerSink& sink) override;

private:
    std::optional<UpstreamError> ask(const chat::Request& input, AnswerSink& sink);
    UpstreamConfig m_config;
};

// Relays to any OpenAI-compatible chat-completions server (llama.cpp, Ollama, vLLM, LM Studio,
// hosted), translating its choices[0].delta.content chunks. Screenshots go as image_url data
// parts; a server or model that refuses them gets the question without, and the answer says so.
class OpenAiProvider : public ModelProvider {
public:
    explicit OpenAiProvider(UpstreamConfig config) : m_config(std::move(config)) {}
    void answer(const chat::Request& input, AnswerSink& sink) override;

private:
    std::optional<UpstreamError> ask(const chat::Request& input, AnswerSink& sink);
    UpstreamConfig m_config;
};

}  // namespace orvane::backend
