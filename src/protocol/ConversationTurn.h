// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// One entry of the conversation sent with every question: {"role", "content", "images"?}.
struct ConversationTurn {
    std::string role;  // "user" or "assistant"
    std::string content;
    // Base64 PNG screenshots that were queued when a user turn was sent; sent again with every
    // later request while the turn is kept. Omitted from the JSON when empty.
    std::vector<std::string> images;
};

// What the candidate said aloud, heard from the microphone: a user turn the model reads as the
// candidate's own answer, never as a question to answer.
constexpr std::string_view candidateTurnPrefix = "The candidate said: ";
inline ConversationTurn candidateTurn(std::string_view words) {
    return {"user", std::string(candidateTurnPrefix) + std::string(words), {}};
}
inline bool isCandidateTurn(const ConversationTurn& turn) {
    return turn.role == "user" && std::string_view(turn.content).starts_with(candidateTurnPrefix);
}

}  // namespace orvane
