// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// Turns the bytes of the chat endpoint's event stream into answer events.
//
// Lines end at a line feed byte (a carriage return before it stays in the line). Only lines that
// begin with "data: " count; each stands alone. Their payload must be a JSON object with a string
// "type": "content_block_delta" carries delta.text, "message_stop" ends the answer, "error" carries
// error.message. Everything else is skipped. Lines are decoded as UTF-8 once whole, so a character
// split between chunks arrives whole; ill-formed bytes become U+FFFD.
class AnswerStreamDecoder {
public:
    // A line longer than this ends decoding: a server that never sends a line feed must not
    // exhaust memory.
    static constexpr std::size_t maxLineBytes = 1024 * 1024;

    struct Event {
        enum class Type { delta, stop, error };
        Type type;
        std::string text;            // the delta text, or the error message
        std::string errorType = {};  // an error's own "type", when it gave one

        bool operator==(const Event&) const = default;
    };

    // Decodes every line the bytes complete and appends its events. Returns false, and takes no
    // more input, once a line exceeds maxLineBytes; the events of the lines before it are kept.
    bool feed(std::string_view bytes, std::vector<Event>& events);

    bool hasOverflowed() const { return m_overflowed; }

private:
    void decodeLine(std::string_view line, std::vector<Event>& events);

    std::string m_partialLine;
    bool m_overflowed = false;
};

}  // namespace orvane
