// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HttpClient.h"
#include "protocol/ChatBody.h"

namespace orvane {

// The POST to the backend's chat endpoint, answered by a server-sent event stream.
class ChatRequest {
public:
    // A model that goes quiet for this long has stopped; one that keeps writing may take minutes
    // over a long design answer, and is cut only past the total.
    static constexpr double idleTimeoutSeconds = 30;
    static constexpr double totalTimeoutSeconds = 10 * 60;
    // The largest body sent, a margin below what the backend accepts.
    static constexpr std::size_t maxBodyBytes = chat::maxBodyBytes / 5 * 4;

    // Nothing when apiBase + the chat path is not a URL Orvane may send a token to (https, or
    // plain http to this machine only).
    static std::optional<HttpRequest> make(std::string_view apiBase, std::string_view accessToken,
                                           const chat::RequestView& content);

    // Removes screenshots, oldest first (so those of earlier turns before the newest turn's own),
    // until the body is no larger than maxBytes. Returns how many of the last turn's went.
    static std::size_t fitImages(std::vector<ConversationTurn>& messages, std::string_view model,
                                 std::string_view systemContext, std::size_t maxBytes);
    // The same request with another bearer token.
    static void setAccessToken(HttpRequest& request, std::string_view accessToken);
    // Marks a question sent ahead of the silence rule: the backend charges it to the user's rate
    // only once its answer was read to the end, and counts those the app let go.
    static void markAsPrefetch(HttpRequest& request);
    static constexpr const char* prefetchHeader = "X-Orvane-Prefetch";
};

}  // namespace orvane
