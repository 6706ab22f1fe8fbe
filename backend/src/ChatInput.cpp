// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "ChatInput.h"

#include <nlohmann/json.hpp>

#include "JsonFields.h"

namespace orvane::backend {

namespace {

constexpr std::size_t kMaxMessages = 200;
constexpr std::size_t kMaxImagesPerTurn = 16;

bool isBase64(const std::string& text) {
    for (unsigned char c : text) {
        if (!(std::isalnum(c) || c == '+' || c == '/' || c == '=')) return false;
    }
    return !text.empty();
}

}  // namespace

const ChatTurn* ChatInput::latestUserTurn() const {
    for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
        if (it->role == "user") return &*it;
    }
    return nullptr;
}

std::variant<ChatInput, std::string> ChatInput::parse(const std::string& body) {
    const auto json = parseUntrusted(body);
    if (!json.is_object()) return std::string("the body must be a JSON object");
    ChatInput input;

    const auto model = json.find("model");
    if (model == json.end() || !model->is_string())
        return std::string("\"model\" must be a string");
    input.model = model->get<std::string>();
    if (input.model != "nano" && input.model != "mini" && input.model != "standard" &&
        input.model != "vision") {
        return std::string("\"model\" must be one of nano, mini, standard, vision");
    }

    const auto messages = json.find("messages");
    if (messages == json.end() || !messages->is_array() || messages->empty()) {
        return std::string("\"messages\" must be a non-empty array");
    }
    if (messages->size() > kMaxMessages) return std::string("too many messages");
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
        ChatTurn turn{role->get<std::string>(), content->get<std::string>(), {}};
        if (const auto images = entry.find("images"); images != entry.end()) {
            if (!images->is_array() || images->size() > kMaxImagesPerTurn) {
                return std::string("\"images\" must be an array of at most 16 Base64 PNG texts");
            }
            for (const auto& image : *images) {
                if (!image.is_string() || !isBase64(image.get<std::string>())) {
                    return std::string("each image must be a Base64 text");
                }
                turn.images.push_back(image.get<std::string>());
            }
        }
        input.messages.push_back(std::move(turn));
    }
    if (!input.latestUserTurn()) return std::string("there is no user message to answer");

    if (const auto context = json.find("systemContext"); context != json.end()) {
        if (!context->is_string()) return std::string("\"systemContext\" must be a string");
        input.systemContext = context->get<std::string>();
    }
    return input;
}

}  // namespace orvane::backend
