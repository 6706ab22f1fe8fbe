// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "protocol/AnswerStreamDecoder.h"

#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "protocol/Utf8.h"

namespace orvane {

namespace {

constexpr std::string_view kDataPrefix = "data: ";

std::optional<std::string> stringMember(const nlohmann::json& object, const char* name) {
    const auto member = object.find(name);
    if (member == object.end() || !member->is_string()) return std::nullopt;
    return member->get<std::string>();
}

}  // namespace

bool AnswerStreamDecoder::feed(std::string_view bytes, std::vector<Event>& events) {
    if (m_overflowed) return false;
    while (!bytes.empty()) {
        const auto newline = bytes.find('\n');
        if (newline == std::string_view::npos) {
            if (m_partialLine.size() + bytes.size() > maxLineBytes) {
                m_overflowed = true;
                m_partialLine.clear();
                return false;
            }
            m_partialLine.append(bytes);
            return true;
        }
        const auto piece = bytes.substr(0, newline);
        bytes.remove_prefix(newline + 1);
        if (m_partialLine.size() + piece.size() > maxLineBytes) {
            m_overflowed = true;
            m_partialLine.clear();
            return false;
        }
        if (m_partialLine.empty()) {
            decodeLine(piece, events);
        } else {
            m_partialLine.append(piece);
            decodeLine(m_partialLine, events);
            m_partialLine.clear();
        }
    }
    return true;
}

void AnswerStreamDecoder::decodeLine(std::string_view line, std::vector<Event>& events) {
    if (!line.starts_with(kDataPrefix)) return;
    std::string_view payload = line.substr(kDataPrefix.size());
    if (payload == "[DONE]") return;

    std::string repaired;
    if (!utf8::isValid(payload)) {
        repaired = utf8::sanitized(payload);
        payload = repaired;
    }
    const auto event = nlohmann::json::parse(payload, nullptr, false);
    if (!event.is_object()) return;
    const auto type = stringMember(event, "type");
    if (!type) return;
    if (*type == "content_block_delta") {
        const auto delta = event.find("delta");
        if (delta == event.end() || !delta->is_object()) return;
        if (auto text = stringMember(*delta, "text")) {
            events.push_back({Event::Type::delta, std::move(*text)});
        }
    } else if (*type == "message_stop") {
        events.push_back({Event::Type::stop, {}});
    } else if (*type == "error") {
        const auto error = event.find("error");
        const bool detailed = error != event.end() && error->is_object();
        auto message = detailed ? stringMember(*error, "message") : std::nullopt;
        auto kind = detailed ? stringMember(*error, "type") : std::nullopt;
        events.push_back(
            {Event::Type::error, message.value_or("API error"), kind.value_or(std::string())});
    }
}

}  // namespace orvane
