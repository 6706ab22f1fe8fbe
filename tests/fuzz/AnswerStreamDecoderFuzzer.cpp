// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// Feeds arbitrary bytes to the answer-stream decoder in arbitrary chunks. Besides crashes and
// sanitizer reports it checks two properties: chunking never changes the events, and every event
// text is valid UTF-8.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "protocol/AnswerStreamDecoder.h"
#include "protocol/Utf8.h"

using orvane::AnswerStreamDecoder;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first byte seeds the chunk sizes; the rest is the stream.
    unsigned seed = data[0];
    const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);

    AnswerStreamDecoder whole;
    std::vector<AnswerStreamDecoder::Event> expected;
    const bool wholeOk = whole.feed(stream, expected);

    AnswerStreamDecoder chunked;
    std::vector<AnswerStreamDecoder::Event> events;
    bool chunkedOk = true;
    std::size_t offset = 0;
    while (offset < stream.size() && chunkedOk) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t length = 1 + (seed >> 16) % 64;
        chunkedOk = chunked.feed(stream.substr(offset, length), events);
        offset += length;
    }
    if (wholeOk != chunkedOk || events != expected) std::abort();
    for (const auto& event : events) {
        if (!orvane::utf8::isValid(event.text)) std::abort();
    }

    return 0;
}
