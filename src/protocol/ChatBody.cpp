// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "protocol/ChatBody.h"

#include <nlohmann/json.hpp>

namespace orvane::chat {

namespace {

bool isBase64(const std::string& text) {
    for (unsigned char c : text) {
        if (!(std::isalnum(c) || c == '+' || c == '/' || c == '=')) return false;
    }
    return !text.empty();
}

std::string dump(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string event(const char* name, const nlohmann::json& payload) {
    return std::string("event: ") + name + "\ndata: " + dump(payload) + "\n\n";
}

}  // namespace

bool isModel(std::string_view model) {
    return model == "nano" || model == "mini" || model == "standard" || model == "vision";
}

bool isAnswerStyle(std::string_view style) {
    return style == "brief" || style == "detailed" || style == "story" || style == "code";
}

const ConversationTurn* Request::latestUserTurn() const {
    for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
        if (it->role == "user" && !isCandidateTurn(*it)) return &*it;
    }
    return nullptr;
}

std::string encode(const RequestView& request) {
    auto messages = nlohmann::json::array();
    for (const auto& turn : request.messages) {
        nlohmann::json entry = {{"role", turn.role}, {"content", turn.content}};
        if (!turn.images.empty()) entry["images"] = turn.images;
        messages.push_back(std::move(entry));
    }
    nlohmann::json object = {{"model", request.model}, {"messages", std::move(messages)}};
    if (!request.systemContext.empty()) object["systemContext"] = request.systemContext;
    if (!request.answerStyle.empty() && request.answerStyle != defaultAnswerStyle) {
        object["answerStyle"] = request.answerStyle;
    }
    return dump(object);
}

std::variant<Request, std::string> parse(std::string_view body) {
    if (!nestsWithin(body, maxNesting)) return std::string("the body nests too deeply");
    const auto json = nlohmann::json::parse(body, nullptr, false);
    if (!json.is_object()) return std::string("the body must be a JSON object");
    Request request;

    const auto model = json.find("model");
    if (model == json.end() || !model->is_string()) {
        return std::string("\"model\" must be a string");
    }
    request.model = model->get<std::string>();
    if (!isModel(request.model)) {
        return std::string("\"model\" must be one of nano, mini, standard, vision");
    }

    const auto messages = json.find("messages");
    if (messages == json.end() || !messages->is_array() || messages->empty()) {
        return std::string("\"messages\" must be a non-empty array");
    }
    if (messages->size() > maxMessages) return std::string("too many messages");
    for (const auto& entry : *messages) {
        if (!entry.is_object()) return std::string("each message must be an object");
        const auto role = entry.find("role");
        const auto content = entry.find("content");
        if (role == entry.end() || !role->is_string() ||
            (*role != "user" && *role != "assistant")) {
            return std::string("each message needs a \"role\" of user or assistant");
        }
        if (content == entry.end() || !content->is_string()) {
            return std::string("each message needs a string \"content\"");
        }
        ConversationTurn turn{role->get<std::string>(), content->get<std::string>(), {}};
        if (const auto images = entry.find("images"); images != entry.end()) {
            if (!images->is_array() || images->size() > maxImagesPerTurn) {
                return std::string("\"images\" must be an array of at most 16 Base64 PNG texts");
            }
            for (const auto& image : *images) {
                if (!image.is_string() || !isBase64(image.get_ref<const std::string&>())) {
                    return std::string("each image must be a Base64 text");
                }
                turn.images.push_back(image.get<std::string>());
            }
        }
        request.messages.push_back(std::move(turn));
    }
    if (!request.latestUserTurn()) return std::string("there is no user message to answer");

    if (const auto context = json.find("systemContext"); context != json.end()) {
        if (!context->is_string()) return std::string("\"systemContext\" must be a string");
        request.systemContext = context->get<std::string>();
    }
    if (const auto style = json.find("answerStyle"); style != json.end()) {
        if (!style->is_string() || !isAnswerStyle(style->get_ref<const std::string&>())) {
            return std::string("\"answerStyle\" must be one of brief, detailed, story, code");
        }
        request.answerStyle = style->get<std::string>();
    }
    return request;
}

bool nestsWithin(std::string_view text, int maxDepth) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > maxDepth) return false;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return true;
}

std::string deltaEvent(std::string_view text) {
    return event("content_block_delta", {{"type", "content_block_delta"},
                                         {"index", 0},
                                         {"delta", {{"type", "text_delta"}, {"text", text}}}});
}

std::string stopEvent() {
    return event("message_stop", {{"type", "message_stop"}});
}

std::string errorEvent(std::string_view message) {
    return event("error", {{"type", "error"},
                           {"error", {{"type", "provider_error"}, {"message", message}}}});
}

}  // namespace orvane::chat
