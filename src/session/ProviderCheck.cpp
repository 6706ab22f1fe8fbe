// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "session/ProviderCheck.h"

#include "platform/HttpClient.h"
#include "platform/MainQueue.h"
#include "protocol/ProviderErrors.h"
#include "text/Url.h"

namespace orvane {

namespace {

// The words of a successful reply: Messages API content, or a chat completion's message.
std::optional<std::string> replyText(const nlohmann::json& reply) {
    if (!reply.is_object()) return std::nullopt;
    if (const auto content = reply.find("content"); content != reply.end() && content->is_array()) {
        for (const auto& block : *content) {
            if (block.is_object() && block.value("type", "") == "text" && block.contains("text") &&
                block["text"].is_string()) {
                return block["text"].get<std::string>();
            }
        }
    }
    if (const auto choices = reply.find("choices");
        choices != reply.end() && choices->is_array() && !choices->empty()) {
        const auto& message = (*choices)[0].value("message", nlohmann::json::object());
        if (message.is_object() && message.contains("content") && message["content"].is_string()) {
            return message["content"].get<std::string>();
        }
    }
    return std::nullopt;
}

// The names in a model list ({"models":[{"name"}]} or {"data":[{"id"}]}), or nothing when the
// reply is not such a list.
std::optional<std::vector<std::string>> modelNames(const HttpResult& result, const char* list,
                                                   const char* field) {
    if (result.error || !result.response || result.response->statusCode != 200 || !result.body) {
        return std::nullopt;
    }
    const auto reply = nlohmann::json::parse(*result.body, nullptr, false);
    if (!reply.is_object() || !reply.contains(list) || !reply[list].is_array()) return std::nullopt;
    std::vector<std::string> names;
    for (const auto& entry : reply[list]) {
        if (entry.is_object() && entry.contains(field) && entry[field].is_string()) {
            names.push_back(entry[field].get<std::string>());
        }
    }
    return names;
}

std::string unreachable(const std::string& base, const std::string& error) {
    if (error == "Could not connect to the server.") {
        return "Nothing answers at " + base + ": is the server running there?";
    }
    auto why = error;
    if (!why.empty() && why.back() == '.') why.pop_back();
    return "The model provider at " + base + " could not be reached: " + why + ".";
}

}  // namespace

std::shared_ptr<ProviderCheck> ProviderCheck::create(HttpClient& http, MainQueue& mainQueue) {
    return std::shared_ptr<ProviderCheck>(new ProviderCheck(http, mainQueue));
}

void ProviderCheck::finish(std::function<void(Outcome)> completion, Outcome outcome) {
    m_mainQueue.post([weak = weak_from_this(), completion = std::move(completion),
                      outcome = std::move(outcome)] {
        if (weak.lock() && completion) completion(outcome);
    });
}

void ProviderCheck::test(const AnswerSettings& settings, const std::string& key,
                         std::function<void(Outcome)> completion) {
    using Source = AnswerSettings::Source;
    if (settings.source == Source::offline) {
        finish(std::move(completion), {true, "The offline samples answer without a model."});
        return;
    }
    if (settings.needsKey() && key.empty()) {
        finish(std::move(completion), {false, "Enter the API key first."});
        return;
    }
    const auto base = withoutTrailingSlashes(settings.apiBase());
    const bool anthropic = settings.source == Source::anthropic;
    const auto url = base + (anthropic ? "/v1/messages" : "/chat/completions");
    const auto parsed = Url::parse(url);
    if (!parsed) {
        finish(std::move(completion), {false, "\"" + base + "\" is not an http(s) address."});
        return;
    }
    if (!key.empty() && !parsed->isSafeForCredentials()) {
        finish(std::move(completion),
               {false, "An API key is sent only over https, or to this computer."});
        return;
    }
    HttpRequest request;
    request.method = "POST";
    request.url = url;
    request.headers = {{"Content-Type", "application/json"}};
    if (anthropic) {
        request.headers.push_back({"x-api-key", key});
        request.headers.push_back({"anthropic-version", "2023-06-01"});
    } else if (!key.empty()) {
        request.headers.push_back({"Authorization", "Bearer " + key});
    }
    const nlohmann::json body = {
        {"model", settings.modelFor("mini")},
        {"max_tokens", 32},
        {"messages", nlohmann::json::array({{{"role", "user"}, {"content", question}}})}};
    request.body = body.dump();
    request.idleTimeoutSeconds = request.totalTimeoutSeconds = timeoutSeconds;
    m_http.send(std::move(request), [weak = weak_from_this(), completion, base](HttpResult result) {
        auto self = weak.lock();
        if (!self) return;
        if (result.error) {
            self->finish(completion, {false, unreachable(base, *result.error)});
            return;
        }
        const int status = result.response ? result.response->statusCode : 0;
        const auto text = result.body.value_or("");
        if (status == 200) {
            if (const auto words = replyText(nlohmann::json::parse(text, nullptr, false))) {
                self->finish(completion, {true, *words});
                return;
            }
        }
        self->finish(
            completion,
            {false, describeUpstreamError(parseUpstreamError(status == 200 ? 0 : status, text))});
    });
}

void ProviderCheck::listModels(const std::string& baseUrl, std::function<void(Models)> completion) {
    const auto base =
        withoutTrailingSlashes(baseUrl.empty() ? AnswerSettings::ollamaBaseUrl : baseUrl);
    const auto parsed = Url::parse(base);
    if (!parsed) {
        finishModels(std::move(completion), "\"" + base + "\" is not an http(s) address.");
        return;
    }
    // Ollama lists its installed models at /api/tags; other servers answer /models.
    HttpRequest tags;
    tags.url = parsed->scheme + "://" + parsed->host +
               (parsed->port ? ":" + std::to_string(*parsed->port) : "") + "/api/tags";
    tags.idleTimeoutSeconds = tags.totalTimeoutSeconds = 5;
    m_http.send(std::move(tags), [weak = weak_from_this(), completion, base](HttpResult result) {
        auto self = weak.lock();
        if (!self) return;
        const auto names = modelNames(result, "models", "name");
        if (names) {
            self->finishModels(completion, names->empty()
                                               ? Models("Ollama has no model installed: pull one, "
                                                        "for example \"ollama pull llama3.2\".")
                                               : Models(*names));
            return;
        }
        HttpRequest list;
        list.url = base + "/models";
        list.idleTimeoutSeconds = list.totalTimeoutSeconds = 5;
        const bool nothingThere = result.error.has_value();
        self->m_http.send(std::move(list), [weak, completion, base, nothingThere](HttpResult r) {
            auto self = weak.lock();
            if (!self) return;
            if (const auto names = modelNames(r, "data", "id")) {
                self->finishModels(completion, Models(*names));
            } else if (nothingThere && base == AnswerSettings::ollamaBaseUrl) {
                self->finishModels(completion,
                                   "Ollama is not running on this computer. Start it with \"ollama "
                                   "serve\" (it installs from ollama.com), then pull a model: "
                                   "\"ollama pull llama3.2\".");
            } else {
                self->finishModels(completion, "No model server answers at " + base + ".");
            }
        });
    });
}

void ProviderCheck::finishModels(std::function<void(Models)> completion, Models models) {
    m_mainQueue.post(
        [weak = weak_from_this(), completion = std::move(completion), models = std::move(models)] {
            if (weak.lock() && completion) completion(models);
        });
}

}  // namespace orvane
