// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "protocol/AnswerStreamDecoder.h"

namespace orvane {
namespace {

using Event = AnswerStreamDecoder::Event;
using Type = Event::Type;

std::string delta(const std::string& text) {
    return R"(data: {"type":"content_block_delta","index":0,"delta":{"type":"text_delta","text":")" +
           text + "\"}}\n";
}

std::vector<Event> decodeWhole(std::string_view bytes) {
    AnswerStreamDecoder decoder;
    std::vector<Event> events;
    decoder.feed(bytes, events);
    return events;
}

struct LineCase {
    const char* name;
    std::string bytes;
    std::vector<Event> expected;
};

class DecoderLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(DecoderLines, DecodeAsTheFormatSays) {
    EXPECT_EQ(decodeWhole(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecoderLines,
    ::testing::Values(
        LineCase{"delta", delta("Hello"), {{Type::delta, "Hello"}}},
        LineCase{"stop", "data: {\"type\":\"message_stop\"}\n", {{Type::stop, ""}}},
        LineCase{"crlf",
                 "data: {\"type\":\"content_block_delta\",\"delta\":{\"text\":\"x\"}}\r\n",
                 {{Type::delta, "x"}}},
        LineCase{"noSpaceAfterColon", "data:{\"type\":\"message_stop\"}\n", {}},
        LineCase{"done", "data: [DONE]\n", {}},
        LineCase{"eventNameAndComments", "event: content_block_delta\n: keep-alive\n\nid: 4\n", {}},
        LineCase{"notJson", "data: hello\n", {}},
        LineCase{"notAnObject", "data: [1,2]\ndata: \"s\"\n", {}},
        LineCase{"typeNotString", "data: {\"type\":5}\n", {}},
        LineCase{"unknownType", "data: {\"type\":\"ping\"}\n", {}},
        LineCase{"deltaWithoutText",
                 "data: {\"type\":\"content_block_delta\",\"delta\":{\"type\":\"x\"}}\n"
                 "data: {\"type\":\"content_block_delta\",\"delta\":\"text\"}\n"
                 "data: {\"type\":\"content_block_delta\",\"delta\":{\"text\":3}}\n",
                 {}},
        LineCase{"errorMessage",
                 "data: {\"type\":\"error\",\"error\":{\"message\":\"Overloaded\"}}\n",
                 {{Type::error, "Overloaded"}}},
        LineCase{"errorWithoutMessage",
                 "data: {\"type\":\"error\",\"error\":{\"code\":1}}\n",
                 {{Type::error, "API error"}}},
        LineCase{"errorNotObject",
                 "data: {\"type\":\"error\",\"error\":\"boom\"}\n",
                 {{Type::error, "API error"}}},
        LineCase{"unfinishedLineWaits", "data: {\"type\":\"message_stop\"}", {}},
        LineCase{"invalidUtf8Replaced",
                 "data: {\"type\":\"content_block_delta\",\"delta\":{\"text\":\"a\xFF"
                 "b\"}}\n",
                 {{Type::delta,
                   "a\uFFFD"
                   "b"}}},
        LineCase{"lastDuplicateWins",
                 "data: {\"type\":\"content_block_delta\",\"delta\":{\"text\":\"a\"},"
                 "\"delta\":{\"x\":1}}\n"
                 "data: {\"type\":5,\"type\":\"message_stop\"}\n"
                 "data: {\"type\":\"message_stop\",\"type\":null}\n",
                 {{Type::stop, ""}}},
        LineCase{"onlyDirectMembersCount",
                 "data: {\"type\":\"content_block_delta\",\"delta\":{\"inner\":{\"text\":"
                 "\"no\"},\"text\":\"yes\"},\"text\":\"top\"}\n"
                 "data: {\"type\":\"content_block_delta\",\"delta\":{\"text\":[\"a\"]}}\n"
                 "data: {\"wrapper\":{\"type\":\"message_stop\"}}\n"
                 "data: [{\"type\":\"message_stop\"}]\n",
                 {{Type::delta, "yes"}}},
        LineCase{"trailingGarbage", "data: {\"type\":\"message_stop\"} x\n", {}},
        LineCase{"escapes",
                 "data: {\"type\":\"content_block_delta\",\"delta\":{\"text\":"
                 "\"line\\n\\\"q\\\" \\u00e9\\ud83d\\ude00\"}}\n",
                 {{Type::delta, "line\n\"q\" \u00E9\U0001F600"}}},
        LineCase{"severalInOrder",
                 delta("A") + delta("B") + "data: {\"type\":\"message_stop\"}\n" + delta("C"),
                 {{Type::delta, "A"}, {Type::delta, "B"}, {Type::stop, ""}, {Type::delta, "C"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AnswerStreamDecoder, SplitAtEveryByteDecodesTheSame) {
    const std::string stream = delta("Gr\u00FC\u00DFe \U0001F600") + delta(" and more") +
                               "data: {\"type\":\"message_stop\"}\r\n";
    const auto whole = decodeWhole(stream);
    ASSERT_EQ(whole.size(), 3u);
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        AnswerStreamDecoder decoder;
        std::vector<Event> events;
        decoder.feed(std::string_view(stream).substr(0, cut), events);
        decoder.feed(std::string_view(stream).substr(cut), events);
        EXPECT_EQ(events, whole) << "cut at " << cut;
    }
    AnswerStreamDecoder byteByByte;
    std::vector<Event> events;
    for (std::size_t at = 0; at < stream.size(); ++at) {
        byteByByte.feed(std::string_view(stream).substr(at, 1), events);
        if (at < stream.find('\n')) {
            EXPECT_TRUE(events.empty()) << "nothing is reported before its line ends";
        }
    }
    EXPECT_EQ(events, whole);
}

// A line of exactly the cap is still decoded; one beyond it ends decoding.
TEST(AnswerStreamDecoder, ALineBeyondOneMebibyteEndsDecoding) {
    const std::string prefix = R"(data: {"type":"content_block_delta","delta":{"text":")";
    const std::string suffix = "\"}}";
    const std::string text(AnswerStreamDecoder::maxLineBytes - prefix.size() - suffix.size(), 'y');
    AnswerStreamDecoder capped;
    std::vector<Event> events;
    EXPECT_TRUE(capped.feed(prefix + text + suffix + "\n", events));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].text.size(), text.size());
    EXPECT_FALSE(capped.feed(prefix + text + "z" + suffix + "\n", events));

    events.clear();
    AnswerStreamDecoder decoder;
    EXPECT_TRUE(decoder.feed(delta("kept"), events));
    const std::string chunk(64 * 1024, 'x');
    bool ok = true;
    std::size_t fed = 0;
    while (ok && fed < 2 * AnswerStreamDecoder::maxLineBytes) {
        ok = decoder.feed(chunk, events);
        fed += chunk.size();
    }
    EXPECT_FALSE(ok);
    EXPECT_TRUE(decoder.hasOverflowed());
    EXPECT_LE(fed, AnswerStreamDecoder::maxLineBytes + chunk.size());
    EXPECT_FALSE(decoder.feed("\n" + delta("ignored"), events));
    EXPECT_EQ(events, (std::vector<Event>{{Type::delta, "kept"}}));
}

}  // namespace
}  // namespace orvane
