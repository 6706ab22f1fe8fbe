// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "session/AnswerStreamDecoder.h"

#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "text/Utf8.h"

namespace orvane {

namespace {

constexpr std::string_view kDataPrefix = "data: ";

// Picks the few fields the decoder reads out of an event while the JSON is parsed, without
// building a document: "type", "delta"."text" and "error"."message". A member given twice counts
// with its last value, as in a parsed document.
class EventFields : public nlohmann::json_sax<nlohmann::json> {
public:
    bool topIsObject = false;
    std::optional<std::string> type;
    bool deltaIsObject = false;
    std::optional<std::string> deltaText;
    bool errorIsObject = false;
    std::optional<std::string> errorMessage;

    bool null() override { return scalar(nullptr); }
    bool boolean(bool) override { return scalar(nullptr); }
    bool number_integer(number_integer_t) override { return scalar(nullptr); }
    bool number_unsigned(number_unsigned_t) override { return scalar(nullptr); }
    bool number_float(number_float_t, const string_t&) override { return scalar(nullptr); }
    bool string(string_t& value) override { return scalar(&value); }
    bool binary(binary_t&) override { return scalar(nullptr); }
    bool start_object(std::size_t) override { return beginContainer(true); }
    bool end_object() override { return endContainer(); }
    bool start_array(std::size_t) override { return beginContainer(false); }
    bool end_array() override { return endContainer(); }
    bool key(string_t& name) override {
        auto& frame = m_stack.back();
        if (m_stack.size() == 1) {
            frame.key = name == "type"    ? Member::type
                        : name == "delta" ? Member::delta
                        : name == "error" ? Member::error
                                          : Member::other;
        } else if (m_stack.size() == 2) {
            const auto outer = m_stack.front().key;
            frame.key = (outer == Member::delta && name == "text")      ? Member::text
                        : (outer == Member::error && name == "message") ? Member::message
                                                                        : Member::other;
        }
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

private:
    enum class Member { other, type, delta, error, text, message };
    struct Frame {
        bool isObject;
        Member key = Member::other;
    };

    // A value of the member named by the innermost object's current key.
    void memberValue(const std::string* text, bool isObject) {
        if (m_stack.size() == 1 && m_stack.front().isObject) {
            switch (m_stack.front().key) {
                case Member::type:
                    type = text ? std::optional(*text) : std::nullopt;
                    break;
                case Member::delta:
                    deltaIsObject = isObject;
                    deltaText.reset();
                    break;
                case Member::error:
                    errorIsObject = isObject;
                    errorMessage.reset();
                    break;
                default:
                    break;
            }
        } else if (m_stack.size() == 2 && m_stack.back().isObject) {
            const auto value = text ? std::optional(*text) : std::nullopt;
            if (m_stack.back().key == Member::text) deltaText = value;
            if (m_stack.back().key == Member::message) errorMessage = value;
        }
    }
    bool scalar(const std::string* text) {
        if (!m_stack.empty()) memberValue(text, false);
        return true;
    }
    bool beginContainer(bool isObject) {
        if (m_stack.empty()) {
            topIsObject = isObject;
        } else {
            memberValue(nullptr, isObject);
        }
        m_stack.push_back({isObject});
        return true;
    }
    bool endContainer() {
        m_stack.pop_back();
        return true;
    }

    std::vector<Frame> m_stack;
};

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
    EventFields event;
    if (!nlohmann::json::sax_parse(payload.begin(), payload.end(), &event)) return;
    if (!event.topIsObject || !event.type) return;

    const auto& name = *event.type;
    if (name == "content_block_delta") {
        if (event.deltaIsObject && event.deltaText) {
            events.push_back({Event::Type::delta, std::move(*event.deltaText)});
        }
    } else if (name == "message_stop") {
        events.push_back({Event::Type::stop, {}});
    } else if (name == "error") {
        const bool hasMessage = event.errorIsObject && event.errorMessage;
        events.push_back({Event::Type::error, hasMessage ? *event.errorMessage : "API error"});
    }
}

}  // namespace orvane
