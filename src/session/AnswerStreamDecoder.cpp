// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "session/AnswerStreamDecoder.h"

#include <nlohmann/json.hpp>

#include "text/Utf8.h"

namespace orvane {

namespace {

constexpr std::string_view kDataPrefix = "data: ";

const nlohmann::json* stringMember(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? &*it : nullptr;
}

const nlohmann::json* objectMember(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_object() ? &*it : nullptr;
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
    const auto* type = stringMember(event, "type");
    if (!type) return;

    const auto& name = type->get_ref<const std::string&>();
    if (name == "content_block_delta") {
        const auto* delta = objectMember(event, "delta");
        const auto* text = delta ? stringMember(*delta, "text") : nullptr;
        if (text) events.push_back({Event::Type::delta, text->get<std::string>()});
    } else if (name == "message_stop") {
        events.push_back({Event::Type::stop, {}});
    } else if (name == "error") {
        const auto* error = objectMember(event, "error");
        const auto* message = error ? stringMember(*error, "message") : nullptr;
        events.push_back({Event::Type::error, message ? message->get<std::string>() : "API error"});
    }
}

}  // namespace orvane
