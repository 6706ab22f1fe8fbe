// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "session/AnswerStreamDecoder.h"
#include "text/Utf8.h"

namespace orvane::testing {

// The format's rules read straight off a parsed document: what the decoder must report for a line.
inline std::vector<AnswerStreamDecoder::Event> eventsByTheRules(std::string_view line) {
    using Type = AnswerStreamDecoder::Event::Type;
    if (!line.starts_with("data: ")) return {};
    const auto payload = utf8::sanitized(line.substr(6));
    if (payload == "[DONE]") return {};
    const auto event = nlohmann::json::parse(payload, nullptr, false);
    if (event.is_discarded() || !event.is_object()) return {};
    const auto type = event.find("type");
    if (type == event.end() || !type->is_string()) return {};
    const auto member = [&](const char* object, const char* name) -> const nlohmann::json* {
        const auto outer = event.find(object);
        if (outer == event.end() || !outer->is_object()) return nullptr;
        const auto inner = outer->find(name);
        return inner != outer->end() && inner->is_string() ? &*inner : nullptr;
    };
    if (*type == "content_block_delta") {
        if (const auto* text = member("delta", "text"))
            return {{Type::delta, text->get<std::string>()}};
    } else if (*type == "message_stop") {
        return {{Type::stop, ""}};
    } else if (*type == "error") {
        const auto* message = member("error", "message");
        return {{Type::error, message ? message->get<std::string>() : "API error"}};
    }
    return {};
}

}  // namespace orvane::testing
