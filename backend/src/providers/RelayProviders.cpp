// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "providers/RelayProviders.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include <nlohmann/json.hpp>

#include "protocol/AnswerStreamDecoder.h"
#include "protocol/ProviderErrors.h"

namespace orvane::backend {

namespace {

constexpr const char* kUnreadableReply =
    "The model provider's reply could not be read: a line of it never ended.";
constexpr std::size_t kRefusalBytes = 16 * 1024;
constexpr const char* kImagesNotUsed =
    "*(The screenshots were not used: this model cannot take images.)*\n\n";

struct Origin {
    std::string origin;      // scheme://host[:port]
    std::string pathPrefix;  // without a trailing slash
};

Origin split(const std::string& baseUrl) {
    const auto schemeEnd = baseUrl.find("://");
    const auto pathStart =
        schemeEnd == std::string::npos ? std::string::npos : baseUrl.find('/', schemeEnd + 3);
    Origin origin{baseUrl.substr(0, pathStart),
                  pathStart == std::string::npos ? "" : baseUrl.substr(pathStart)};
    while (!origin.pathPrefix.empty() && origin.pathPrefix.back() == '/') {
        origin.pathPrefix.pop_back();
    }
    return origin;
}

void failed(const UpstreamConfig& config, AnswerSink& sink, const UpstreamError& error) {
    if (config.log) {
        config.log("the model provider failed: HTTP " + std::to_string(error.status) + " " +
                   error.type + " " + error.code + " " + error.message);
    }
    sink.error(describeUpstreamError(error));
}

// Posts the body and hands each received chunk to onChunk (only for a 200 reply). Ends the
// answer with an error when the upstream fails or stops before onChunk saw the end; a refusal
// (a status other than 200) is returned to the caller instead, to tell or to try otherwise.
std::optional<UpstreamError> relay(
    const UpstreamConfig& config, const std::string& path, httplib::Headers headers,
    const std::string& body, AnswerSink& sink,
    const std::function<bool(std::string_view, bool& ended)>& onChunk) {
    const auto origin = split(config.baseUrl);
    httplib::Client client(origin.origin);
    client.set_connection_timeout(10);
    client.set_read_timeout(config.timeoutSeconds);
    client.enable_server_certificate_verification(true);

    httplib::Request request;
    request.method = "POST";
    request.path = origin.pathPrefix + path;
    request.headers = std::move(headers);
    request.body = body;
    request.set_header("Content-Type", "application/json");
    int status = 0;
    bool ended = false;
    bool clientGone = false;
    std::string refusal;
    request.response_handler = [&](const httplib::Response& response) {
        status = response.status;
        return true;
    };
    request.content_receiver = [&](const char* data, std::size_t length, std::uint64_t,
                                   std::uint64_t) {
        if (status != 200) {
            // Enough of a refusal to tell its kind; the rest is not read.
            refusal.append(data, std::min(length, kRefusalBytes - refusal.size()));
            return refusal.size() < kRefusalBytes;
        }
        if (ended) return true;
        if (!onChunk(std::string_view(data, length), ended)) clientGone = true;
        return !clientGone;
    };
    // While the provider thinks, nothing is written to the client, so nothing would notice it
    // leave: a comment line every 50 ms finds out, and then the upstream request is dropped at
    // once instead of running on at the provider's cost.
    std::atomic<bool> done{false};
    std::atomic<bool> gone{false};
    std::thread watch([&] {
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (!done && !sink.keepAlive()) {
                gone = true;
                client.stop();
                return;
            }
        }
    });
    const auto result = client.send(request);
    done = true;
    watch.join();
    if (gone) clientGone = true;
    if (clientGone || ended) return std::nullopt;
    if (status != 0 && status != 200) return parseUpstreamError(status, refusal);
    if (!result) {
        sink.error("The model provider could not be reached (" +
                   httplib::to_string(result.error()) + ").");
    } else {
        sink.error("The model provider's answer ended early.");
    }
    return std::nullopt;
}

bool hasImages(const chat::Request& input) {
    return std::any_of(input.messages.begin(), input.messages.end(),
                       [](const auto& turn) { return !turn.images.empty(); });
}

// A model or server that cannot take images refuses the request as malformed or fails on it; a
// refused key, an empty account, a missing model or a rate limit are not about the images.
bool couldBeTheImages(const UpstreamError& error) {
    // Some local servers fail with a plain 500 on a model without vision; a gateway's 502 or 503
    // is about the way there.
    return classify(error) == UpstreamProblem::refused || error.status == 500;
}

// Asks with the screenshots first; when the upstream refuses a request that carried some in a way
// that could be about them, asks again without, says so at the top of the answer, and tells the
// model what it is not seeing.
void askWithImagesOrWithout(
    const UpstreamConfig& config, const chat::Request& input, AnswerSink& sink,
    const std::function<std::optional<UpstreamError>(const chat::Request&)>& ask) {
    auto refused = ask(input);
    if (refused && hasImages(input) && couldBeTheImages(*refused)) {
        if (config.log) config.log("the model provider refused images; asking without them");
        auto plain = input;
        std::size_t dropped = 0;
        for (auto& turn : plain.messages) {
            dropped += turn.images.size();
            turn.images.clear();
        }
        if (auto* latest = const_cast<ConversationTurn*>(plain.latestUserTurn())) {
            latest->content += "\n\n(" + std::to_string(dropped) +
                               " screenshots came with this question; this model cannot see them.)";
        }
        if (!sink.delta(kImagesNotUsed)) return;
        refused = ask(plain);
    }
    if (refused) failed(config, sink, *refused);
}

}  // namespace

void AnthropicProvider::answer(const chat::Request& input, AnswerSink& sink) {
    askWithImagesOrWithout(m_config, input, sink, [this, &sink](const chat::Request& question) {
        return ask(question, sink);
    });
}

std::optional<UpstreamError> AnthropicProvider::ask(const chat::Request& input, AnswerSink& sink) {
    auto messages = nlohmann::json::array();
    for (const auto& turn : input.messages) {
        // The upstream wants the conversation to open with the user.
        if (messages.empty() && turn.role != "user") continue;
        auto content = nlohmann::json::array();
        for (const auto& image : turn.images) {
            content.push_back(
                {{"type", "image"},
                 {"source", {{"type", "base64"}, {"media_type", "image/png"}, {"data", image}}}});
        }
        content.push_back({{"type", "text"}, {"text", turn.content.empty() ? " " : turn.content}});
        messages.push_back({{"role", turn.role}, {"content", std::move(content)}});
    }
    const nlohmann::json body = {{"model", m_config.model},
                                 {"max_tokens", 2048},
                                 {"stream", true},
                                 {"system", interviewSystemPrompt(input)},
                                 {"messages", std::move(messages)}};
    httplib::Headers headers = {{"anthropic-version", "2023-06-01"}};
    if (!m_config.apiKey.empty()) headers.emplace("x-api-key", m_config.apiKey);

    orvane::AnswerStreamDecoder decoder;
    return relay(m_config, "/v1/messages", std::move(headers),
                 body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), sink,
                 [&](std::string_view chunk, bool& ended) {
                     std::vector<orvane::AnswerStreamDecoder::Event> events;
                     if (!decoder.feed(chunk, events)) {
                         ended = true;
                         return sink.error(kUnreadableReply);
                     }
                     for (const auto& event : events) {
                         using Type = orvane::AnswerStreamDecoder::Event::Type;
                         if (event.type == Type::delta) {
                             if (!sink.delta(event.text)) return false;
                         } else if (event.type == Type::stop) {
                             ended = true;
                             return sink.stop();
                         } else {
                             ended = true;
                             failed(m_config, sink, {0, event.errorType, {}, event.text});
                             return false;
                         }
                     }
                     return true;
                 });
}

void OpenAiProvider::answer(const chat::Request& input, AnswerSink& sink) {
    askWithImagesOrWithout(m_config, input, sink, [this, &sink](const chat::Request& question) {
        return ask(question, sink);
    });
}

// Chat Completions chunks: a first delta may carry only the role, a chunk may have no choices
// (usage, or a keep-alive), and the stream ends with "[DONE]" or, for some servers, with the
// connection once a choice has a finish reason.
std::optional<UpstreamError> OpenAiProvider::ask(const chat::Request& input, AnswerSink& sink) {
    auto messages =
        nlohmann::json::array({{{"role", "system"}, {"content", interviewSystemPrompt(input)}}});
    for (const auto& turn : input.messages) {
        if (turn.images.empty()) {
            messages.push_back({{"role", turn.role}, {"content", turn.content}});
            continue;
        }
        auto parts = nlohmann::json::array({{{"type", "text"}, {"text", turn.content}}});
        for (const auto& image : turn.images) {
            parts.push_back({{"type", "image_url"},
                             {"image_url", {{"url", "data:image/png;base64," + image}}}});
        }
        messages.push_back({{"role", turn.role}, {"content", std::move(parts)}});
    }
    const nlohmann::json body = {
        {"model", m_config.model}, {"stream", true}, {"messages", std::move(messages)}};
    httplib::Headers headers;
    if (!m_config.apiKey.empty()) headers.emplace("Authorization", "Bearer " + m_config.apiKey);

    std::string pending;
    return relay(m_config, "/chat/completions", std::move(headers),
                 body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), sink,
                 [&](std::string_view chunk, bool& ended) {
                     pending.append(chunk);
                     std::size_t newline;
                     while ((newline = pending.find('\n')) != std::string::npos) {
                         std::string line = pending.substr(0, newline);
                         pending.erase(0, newline + 1);
                         if (!line.empty() && line.back() == '\r') line.pop_back();
                         if (!line.starts_with("data:")) continue;
                         auto payload = line.substr(5);
                         if (!payload.empty() && payload.front() == ' ') payload.erase(0, 1);
                         if (payload == "[DONE]") {
                             ended = true;
                             return sink.stop();
                         }
                         const auto event = nlohmann::json::parse(payload, nullptr, false);
                         if (!event.is_object()) continue;
                         if (event.contains("error")) {
                             ended = true;
                             failed(m_config, sink, parseUpstreamError(0, payload));
                             return false;
                         }
                         const auto choices = event.find("choices");
                         if (choices == event.end() || !choices->is_array() || choices->empty())
                             continue;
                         const auto& choice = (*choices)[0];
                         if (!choice.is_object()) continue;
                         const auto delta = choice.find("delta");
                         if (delta != choice.end() && delta->is_object()) {
                             const auto content = delta->find("content");
                             if (content != delta->end() && content->is_string() &&
                                 !content->get_ref<const std::string&>().empty() &&
                                 !sink.delta(content->get_ref<const std::string&>())) {
                                 return false;
                             }
                         }
                         const auto finish = choice.find("finish_reason");
                         if (finish != choice.end() && finish->is_string()) {
                             ended = true;
                             return sink.stop();
                         }
                     }
                     // A server that never ends its line must not fill this process's memory.
                     if (pending.size() > orvane::AnswerStreamDecoder::maxLineBytes) {
                         ended = true;
                         return sink.error(kUnreadableReply);
                     }
                     return true;
                 });
}

}  // namespace orvane::backend
