// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace orvane {

// Where answers come from, as the user set it in Preferences: the backend's offline samples, a
// hosted model (Anthropic, OpenAI), or an OpenAI-compatible server (Ollama, llama.cpp, LM Studio,
// vLLM), with the model each tier asks for. The API key is not part of it: it lives in the
// desktop's secret store only.
struct AnswerSettings {
    enum class Source { offline, anthropic, openai, openaiCompatible };
    static constexpr Source allSources[] = {Source::offline, Source::anthropic, Source::openai,
                                            Source::openaiCompatible};

    Source source = Source::offline;
    // The server's API base, for an OpenAI-compatible server ("http://127.0.0.1:11434/v1"), or a
    // gateway in front of a hosted provider; empty for the provider's own.
    std::string baseUrl{};
    // The model each tier ("nano", "mini", "standard", "vision") asks for; a missing one takes the
    // source's default.
    std::map<std::string, std::string> models{};

    static const std::vector<std::string>& tiers();
    static std::string_view title(Source source);
    // The secret store account of the key typed for these answers: "anthropic-api-key",
    // "openai-api-key", or for a compatible server one of its own for each server
    // ("openai-compatible-api-key http://10.0.0.5:8080/v1"), so that a key goes only where it
    // was typed for; empty for the offline samples.
    std::string keyAccount() const;
    // Whether a key may go where these answers send requests: over https, or to this machine
    // by its address. Plain http to another host would carry it in the clear.
    bool mayCarryKey() const;
    static constexpr const char* ollamaBaseUrl = "http://127.0.0.1:11434/v1";
    static constexpr const char* openAiBaseUrl = "https://api.openai.com/v1";
    static constexpr const char* anthropicBaseUrl = "https://api.anthropic.com";

    std::string modelFor(const std::string& tier) const;
    static std::string defaultModel(Source source, const std::string& tier);
    // Where requests go: the compatible server's base, or the hosted provider's.
    std::string apiBase() const;
    // A hosted provider cannot be used without a key; a compatible server may need none.
    bool needsKey() const { return source == Source::anthropic || source == Source::openai; }

    // orvane-backend's flags for these answers. The key is never among them: it goes in the
    // environment variable keyVariable() names.
    std::vector<std::string> backendArguments() const;
    std::string_view keyVariable() const;

    nlohmann::json toJson() const;
    // Whatever cannot be read leaves the defaults.
    static AnswerSettings fromJson(const nlohmann::json& json);
    // The answers a run command asks for through its environment: ANTHROPIC_API_KEY, or
    // OPENAI_BASE_URL (a compatible server) or OPENAI_API_KEY alone (OpenAI), and ORVANE_MODEL
    // for every tier. Nothing when none is set.
    static std::optional<AnswerSettings> fromEnvironment(
        const std::function<std::optional<std::string>(const char*)>& variable);

    bool operator==(const AnswerSettings&) const = default;
};

}  // namespace orvane
