// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
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

}  // namespace orvane
