// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace orvane::testing {

// The chat endpoint's answer events, as the backend writes them.
inline std::string deltaEvent(std::string_view text) {
    const nlohmann::json event = {{"type", "content_block_delta"},
                                  {"index", 0},
                                  {"delta", {{"type", "text_delta"}, {"text", text}}}};
    return "data: " + event.dump() + "\n\n";
}
inline constexpr std::string_view kStopEvent = "data: {\"type\":\"message_stop\"}\n\n";
inline std::string errorEvent(std::string_view message) {
    return "data: " +
           nlohmann::json{{"type", "error"},
                          {"error", {{"type", "overloaded_error"}, {"message", message}}}}
               .dump() +
           "\n\n";
}
// An answer in one piece: its deltas, then its end.
inline std::string answerEvents(std::string_view text) {
    return deltaEvent(text) + std::string(kStopEvent);
}

}  // namespace orvane::testing
