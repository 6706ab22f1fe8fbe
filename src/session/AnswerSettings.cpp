// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "session/AnswerSettings.h"

#include "text/Url.h"

namespace orvane {

namespace {

constexpr std::string_view kSourceNames[] = {"offline", "anthropic", "openai", "openai-compatible"};

std::string_view nameOf(AnswerSettings::Source source) {
    return kSourceNames[static_cast<int>(source)];
}

}  // namespace

const std::vector<std::string>& AnswerSettings::tiers() {
    static const std::vector<std::string> names = {"nano", "mini", "standard", "vision"};
    return names;
}

std::string_view AnswerSettings::title(Source source) {
    switch (source) {
        case Source::offline:
            return "Offline samples";
        case Source::anthropic:
            return "Anthropic";
        case Source::openai:
            return "OpenAI";
        case Source::openaiCompatible:
            return "OpenAI-compatible server";
    }
    return "Offline samples";
}

std::string AnswerSettings::keyAccount() const {
    switch (source) {
        case Source::offline:
            return "";
        case Source::anthropic:
            return "anthropic-api-key";
        case Source::openai:
            return "openai-api-key";
        case Source::openaiCompatible:
            return "openai-compatible-api-key " + apiBase();
    }
    return "";
}

bool AnswerSettings::mayCarryKey() const {
    const auto url = Url::parse(apiBase());
    return url && url->isSafeForCredentials();
}

// Small and quick for the short tiers, the provider's strongest for the others; a local server's
// models are the user's own to name (the vision tier wants one that sees images).
std::string AnswerSettings::defaultModel(Source source, const std::string& tier) {
    const bool small = tier == "nano" || tier == "mini";
    switch (source) {
        case Source::offline:
            return "";
        case Source::anthropic:
            return small ? "claude-haiku-4-5" : "claude-sonnet-4-5";
        case Source::openai:
            return tier == "nano" ? "gpt-4.1-nano" : tier == "mini" ? "gpt-4.1-mini" : "gpt-4.1";
        case Source::openaiCompatible:
            return tier == "vision" ? "llava" : "llama3.2";
    }
    return "";
}

std::string AnswerSettings::modelFor(const std::string& tier) const {
    if (const auto it = models.find(tier); it != models.end() && !it->second.empty()) {
        return it->second;
    }
    return defaultModel(source, tier);
}

std::string AnswerSettings::apiBase() const {
    if (!baseUrl.empty() && source != Source::offline) return baseUrl;
    switch (source) {
        case Source::anthropic:
            return anthropicBaseUrl;
        case Source::openai:
            return openAiBaseUrl;
        case Source::openaiCompatible:
            return ollamaBaseUrl;
        case Source::offline:
            break;
    }
    return "";
}

std::vector<std::string> AnswerSettings::backendArguments() const {
    if (source == Source::offline) return {"--tier", "all=offline"};
    const std::string provider = source == Source::anthropic ? "anthropic" : "openai";
    std::vector<std::string> arguments;
    for (const auto& tier : tiers()) {
        arguments.insert(arguments.end(), {"--tier", tier + "=" + provider + ":" + modelFor(tier)});
    }
    arguments.insert(arguments.end(),
                     {source == Source::anthropic ? "--anthropic-url" : "--openai-url", apiBase()});
    return arguments;
}

std::string_view AnswerSettings::keyVariable() const {
    switch (source) {
        case Source::anthropic:
            return "ANTHROPIC_API_KEY";
        case Source::openai:
        case Source::openaiCompatible:
            return "OPENAI_API_KEY";
        case Source::offline:
            break;
    }
    return "";
}

nlohmann::json AnswerSettings::toJson() const {
    nlohmann::json json = {{"source", nameOf(source)}, {"models", models}};
    if (!baseUrl.empty()) json["baseUrl"] = baseUrl;
    return json;
}

AnswerSettings AnswerSettings::fromJson(const nlohmann::json& json) {
    AnswerSettings settings;
    if (!json.is_object()) return settings;
    if (const auto source = json.find("source"); source != json.end() && source->is_string()) {
        for (const auto candidate : allSources) {
            if (nameOf(candidate) == source->get_ref<const std::string&>()) {
                settings.source = candidate;
            }
        }
    }
    if (const auto url = json.find("baseUrl"); url != json.end() && url->is_string()) {
        settings.baseUrl = url->get<std::string>();
    }
    if (const auto models = json.find("models"); models != json.end() && models->is_object()) {
        for (const auto& tier : tiers()) {
            if (const auto model = models->find(tier);
                model != models->end() && model->is_string()) {
                settings.models[tier] = model->get<std::string>();
            }
        }
    }
    return settings;
}

std::optional<AnswerSettings> AnswerSettings::fromEnvironment(
    const std::function<std::optional<std::string>(const char*)>& variable) {
    const auto set = [&variable](const char* name) {
        const auto value = variable(name);
        return value && !value->empty() ? value : std::nullopt;
    };
    AnswerSettings settings;
    if (const auto url = set("OPENAI_BASE_URL")) {
        settings.source = Source::openaiCompatible;
        settings.baseUrl = *url;
    } else if (set("ANTHROPIC_API_KEY")) {
        settings.source = Source::anthropic;
    } else if (set("OPENAI_API_KEY")) {
        settings.source = Source::openai;
    } else {
        return std::nullopt;
    }
    if (const auto model = set("ORVANE_MODEL")) {
        for (const auto& tier : tiers()) settings.models[tier] = *model;
    }
    return settings;
}

}  // namespace orvane
