// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
#include <variant>
#include <vector>

namespace orvane::backend {

struct ChatTurn {
    std::string role;  // "user" or "assistant"
    std::string content;
    std::vector<std::string> images;  // Base64 PNG
};

// A validated chat request body.
struct ChatInput {
    std::string model;  // "nano", "mini", "standard" or "vision"
    std::vector<ChatTurn> messages;
    std::string systemContext;

    // The content of the last user turn: the utterance to answer.
    const ChatTurn* latestUserTurn() const;

    // The input, or what is wrong with the body (for a 400 reply).
    static std::variant<ChatInput, std::string> parse(const std::string& body);
};

}  // namespace orvane::backend
