// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "session/ChatRequest.h"

#include "protocol/Endpoints.h"
#include "text/Url.h"

namespace orvane {

std::optional<HttpRequest> ChatRequest::make(std::string_view apiBase, std::string_view accessToken,
                                             const chat::RequestView& content) {
    std::string url = std::string(apiBase) + std::string(endpoints::chat);
    const auto parsed = Url::parse(url);
    if (!parsed || !parsed->isSafeForCredentials()) return std::nullopt;

    HttpRequest request;
    request.method = "POST";
    request.url = std::move(url);
    request.headers = {{"Content-Type", "application/json"}, {"Authorization", ""}};
    setAccessToken(request, accessToken);
    request.body = chat::encode(content);
    request.idleTimeoutSeconds = idleTimeoutSeconds;
    request.totalTimeoutSeconds = totalTimeoutSeconds;
    return request;
}

std::size_t ChatRequest::fitImages(std::vector<ConversationTurn>& messages, std::string_view model,
                                   std::string_view systemContext, std::size_t maxBytes) {
    std::size_t size = chat::encode({model, messages, systemContext}).size();
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

void ChatRequest::markAsPrefetch(HttpRequest& request) {
    request.headers.emplace_back(prefetchHeader, "1");
}

void ChatRequest::setAccessToken(HttpRequest& request, std::string_view accessToken) {
    for (auto& [name, value] : request.headers) {
        if (name == "Authorization") value = "Bearer " + std::string(accessToken);
    }
}

}  // namespace orvane
