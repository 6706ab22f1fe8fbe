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

// The few fields the decoder reads out of an event: "type", "delta"."text" and "error"."message".
// A member given twice counts with its last value, as in a parsed document.
struct EventFields {
    bool topIsObject = false;
    std::optional<std::string> type;
    bool deltaIsObject = false;
    std::optional<std::string> deltaText;
    bool errorIsObject = false;
    std::optional<std::string> errorMessage;
};

class EventFieldsSax : public nlohmann::json_sax<nlohmann::json> {
public:
    explicit EventFieldsSax(EventFields& fields) : m_fields(fields) {}

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
                    m_fields.type = text ? std::optional(*text) : std::nullopt;
                    break;
                case Member::delta:
                    m_fields.deltaIsObject = isObject;
                    m_fields.deltaText.reset();
                    break;
                case Member::error:
                    m_fields.errorIsObject = isObject;
                    m_fields.errorMessage.reset();
                    break;
                default:
                    break;
            }
        } else if (m_stack.size() == 2 && m_stack.back().isObject) {
            const auto value = text ? std::optional(*text) : std::nullopt;
            if (m_stack.back().key == Member::text) m_fields.deltaText = value;
            if (m_stack.back().key == Member::message) m_fields.errorMessage = value;
        }
    }
    bool scalar(const std::string* text) {
        if (!m_stack.empty()) memberValue(text, false);
        return true;
    }
    bool beginContainer(bool isObject) {
        if (m_stack.empty()) {
            m_fields.topIsObject = isObject;
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

    EventFields& m_fields;
    std::vector<Frame> m_stack;
};

// The same fields read by a scanner written for the events servers actually send, several times
// faster than the general parser. It is strict: anything it does not fully handle (a number with a
// fraction or exponent, deep nesting, a byte-order mark, malformed JSON) makes it give up, and the
// general parser decides.
class FastEventReader {
public:
    explicit FastEventReader(std::string_view text) : m_text(text) {}

    // False when the general parser must read the event.
    bool read(EventFields& fields) {
        skipSpace();
        if (!at('{')) return false;
        fields.topIsObject = true;
        const bool membersRead = elements('}', &m_key, [&] {
            if (m_key == "type") return stringOrOther(fields.type, 1);
            if (m_key == "delta") {
                return memberObject("text", fields.deltaIsObject, fields.deltaText);
            }
            if (m_key == "error") {
                return memberObject("message", fields.errorIsObject, fields.errorMessage);
            }
            return skipValue(1);
        });
        return membersRead && atEnd();
    }

private:
    static constexpr int kMaxDepth = 32;

    bool at(char c) const { return m_at < m_text.size() && m_text[m_at] == c; }
    bool atEnd() {
        skipSpace();
        return m_at == m_text.size();
    }
    void skipSpace() {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t' ||
                                        m_text[m_at] == '\r' || m_text[m_at] == '\n')) {
            ++m_at;
        }
    }

    // The object or array opening at the cursor, up to `close`: each member's key goes to `key`
    // (when given) before `onValue` reads its value at the cursor.
    template <typename OnValue>
    bool elements(char close, std::string* key, OnValue onValue) {
        ++m_at;
        skipSpace();
        if (at(close)) {
            ++m_at;
            return true;
        }
        for (;;) {
            if (close == '}') {
                if (!string(key)) return false;
                skipSpace();
                if (!at(':')) return false;
                ++m_at;
                skipSpace();
            }
            if (!onValue()) return false;
            skipSpace();
            if (at(',')) {
                ++m_at;
                skipSpace();
                continue;
            }
            if (!at(close)) return false;
            ++m_at;
            return true;
        }
    }

    // A string value lands in the field; any other value empties it.
    bool stringOrOther(std::optional<std::string>& field, int depth) {
        if (!at('"')) {
            field.reset();
            return skipValue(depth);
        }
        field.emplace();
        return string(&*field);
    }

    // A top-level member whose own member `name` is wanted.
    bool memberObject(std::string_view name, bool& isObject, std::optional<std::string>& field) {
        field.reset();
        isObject = at('{');
        if (!isObject) return skipValue(1);
        return elements('}', &m_key,
                        [&] { return m_key == name ? stringOrOther(field, 2) : skipValue(2); });
    }

    bool skipValue(int depth) {
        if (m_at >= m_text.size() || depth > kMaxDepth) return false;
        switch (m_text[m_at]) {
            case '"':
                return string(nullptr);
            case '{':
                return elements('}', nullptr, [&] { return skipValue(depth + 1); });
            case '[':
                return elements(']', nullptr, [&] { return skipValue(depth + 1); });
            case 't':
                return literal("true");
            case 'f':
                return literal("false");
            case 'n':
                return literal("null");
            default:
                return integer();
        }
    }

    bool literal(std::string_view word) {
        if (m_text.substr(m_at, word.size()) != word) return false;
        m_at += word.size();
        return true;
    }

    // Integers of up to 18 digits; anything else is for the general parser.
    bool integer() {
        if (at('-')) ++m_at;
        const auto start = m_at;
        while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9') ++m_at;
        const auto digits = m_at - start;
        if (digits == 0 || digits > 18 || (digits > 1 && m_text[start] == '0')) return false;
        return !(at('.') || at('e') || at('E'));
    }

    // A string at the cursor, unescaped into `out` when given. The text is valid UTF-8 already.
    bool string(std::string* out) {
        if (!at('"')) return false;
        ++m_at;
        if (out) out->clear();
        for (;;) {
            const auto start = m_at;
            while (m_at < m_text.size()) {
                const auto c = static_cast<unsigned char>(m_text[m_at]);
                if (c == '"' || c == '\\' || c < 0x20) break;
                ++m_at;
            }
            if (out) out->append(m_text.substr(start, m_at - start));
            if (m_at >= m_text.size()) return false;
            const char c = m_text[m_at++];
            if (c == '"') return true;
            if (c != '\\' || !escape(out)) return false;
        }
    }

    bool escape(std::string* out) {
        if (m_at >= m_text.size()) return false;
        const char c = m_text[m_at++];
        char plain;
        switch (c) {
            case '"':
            case '\\':
            case '/':
                plain = c;
                break;
            case 'b':
                plain = '\b';
                break;
            case 'f':
                plain = '\f';
                break;
            case 'n':
                plain = '\n';
                break;
            case 'r':
                plain = '\r';
                break;
            case 't':
                plain = '\t';
                break;
            case 'u':
                return unicodeEscape(out);
            default:
                return false;
        }
        if (out) out->push_back(plain);
        return true;
    }

    bool hex4(char32_t& unit) {
        if (m_text.size() - m_at < 4) return false;
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_at++];
            unit <<= 4;
            if (c >= '0' && c <= '9') {
                unit |= static_cast<char32_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                unit |= static_cast<char32_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                unit |= static_cast<char32_t>(c - 'A' + 10);
            } else {
                return false;
            }
        }
        return true;
    }

    bool unicodeEscape(std::string* out) {
        char32_t code;
        if (!hex4(code)) return false;
        if (code >= 0xDC00 && code <= 0xDFFF) return false;  // a low surrogate alone
        if (code >= 0xD800 && code <= 0xDBFF) {
            char32_t low;
            if (!literal("\\u") || !hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        if (out) utf8::append(*out, code);
        return true;
    }

    std::string_view m_text;
    std::size_t m_at = 0;
    std::string m_key;
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
    if (!FastEventReader(payload).read(event)) {
        event = {};
        EventFieldsSax sax(event);
        if (!nlohmann::json::sax_parse(payload.begin(), payload.end(), &sax)) return;
    }
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
