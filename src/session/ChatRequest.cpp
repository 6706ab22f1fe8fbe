// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "session/ChatRequest.h"

#include <nlohmann/json.hpp>

#include "text/Url.h"

namespace orvane {

std::optional<HttpRequest> ChatRequest::make(std::string_view apiBase, std::string_view accessToken,
                                             const ChatRequestContent& content) {
    std::string url = std::string(apiBase) + std::string(path);
    const auto parsed = Url::parse(url);
    if (!parsed || !parsed->isSafeForCredentials()) return std::nullopt;

    HttpRequest request;
    request.method = "POST";
    request.url = std::move(url);
    request.headers = {{"Content-Type", "application/json"}, {"Authorization", ""}};
    setAccessToken(request, accessToken);
    request.body = body(content);
    request.idleTimeoutSeconds = idleTimeoutSeconds;
    request.totalTimeoutSeconds = totalTimeoutSeconds;
    return request;
}

std::size_t ChatRequest::fitImages(std::vector<ConversationTurn>& messages, std::string_view model,
                                   std::string_view systemContext, std::size_t maxBytes) {
    std::size_t size = body({model, messages, systemContext}).size();
    std::size_t droppedFromLast = 0;
    for (std::size_t turn = 0; turn < messages.size() && size > maxBytes;) {
        auto& images = messages[turn].images;
        if (images.empty()) {
            ++turn;
            continue;
        }
        // An image takes its length plus two quotes in the body, and more when it was the last.
        size -= std::min(size, images.front().size() + 2);
        images.erase(images.begin());
        if (turn + 1 == messages.size()) ++droppedFromLast;
    }
    return droppedFromLast;
}

void ChatRequest::setAccessToken(HttpRequest& request, std::string_view accessToken) {
    for (auto& [name, value] : request.headers) {
        if (name == "Authorization") value = "Bearer " + std::string(accessToken);
    }
}

std::string ChatRequest::body(const ChatRequestContent& content) {
    auto messages = nlohmann::json::array();
    for (const auto& turn : content.messages) {
        nlohmann::json entry = {{"role", turn.role}, {"content", turn.content}};
        if (!turn.images.empty()) entry["images"] = turn.images;
        messages.push_back(std::move(entry));
    }
    nlohmann::json object = {{"model", content.model}, {"messages", std::move(messages)}};
    if (!content.systemContext.empty()) object["systemContext"] = content.systemContext;
    // Text that is not valid UTF-8 is sent with U+FFFD in its place rather than not at all.
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace orvane
