// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "protocol/Base64.h"
#include "protocol/Utf8.h"
#include "text/Text.h"
#include "text/Url.h"

namespace orvane {
namespace {

TEST(Trim, RemovesAsciiAndUnicodeSpacesFromBothEndsOnly) {
    EXPECT_EQ(text::trimWhitespaceAndNewlines("  \t\n hello world \r\n"), "hello world");
    EXPECT_EQ(text::trimWhitespaceAndNewlines("\u00A0\u2028answer\u3000"), "answer");
    EXPECT_EQ(text::trimWhitespaceAndNewlines("a \u00A0 b"), "a \u00A0 b");
    EXPECT_EQ(text::trimWhitespaceAndNewlines(" \n\u2029 "), "");
    EXPECT_EQ(text::trimWhitespaceAndNewlines(""), "");
}

TEST(Split, DropsEmptyPiecesBetweenRepeatedSeparators) {
    EXPECT_EQ(text::splitOmittingEmpty("a  b", ' ').size(), 2u);
    EXPECT_EQ(text::splitOmittingEmpty("  ", ' ').size(), 0u);
    const auto pieces = text::splitOmittingEmpty(" what is  SQL ", ' ');
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[2], "SQL");
}

TEST(CharacterCount, CountsCodePointsNotBytes) {
    EXPECT_EQ(text::characterCount("abcdefgh"), 8u);
    EXPECT_EQ(text::characterCount("\u00FCberall"), 7u);  // 8 bytes
    EXPECT_EQ(text::characterCount("\u65E5\u672C\u8A9E"), 3u);
}

struct Utf8Case {
    std::string input;
    std::string expected;
};

class Utf8Sanitize : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Sanitize, ReplacesEachMaximalIllFormedSubpartOnce) {
    EXPECT_EQ(utf8::sanitized(GetParam().input), GetParam().expected);
    EXPECT_TRUE(utf8::isValid(utf8::sanitized(GetParam().input)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8Sanitize,
    ::testing::Values(Utf8Case{"plain ascii text", "plain ascii text"},
                      Utf8Case{"caf\xC3\xA9", "caf\xC3\xA9"},
                      Utf8Case{"a\xFF"
                               "b",
                               "a\uFFFD"
                               "b"},
                      Utf8Case{"\xE2\x82", "\uFFFD"},                  // truncated euro sign
                      Utf8Case{"\xC0\xAF", "\uFFFD\uFFFD"},            // overlong slash
                      Utf8Case{"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},  // surrogate
                      Utf8Case{"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},  // > U+10FFFF
                      Utf8Case{"\xF0\x9F\x98\x80 ok", "\xF0\x9F\x98\x80 ok"},
                      Utf8Case{"0123456789abcdef\x80", "0123456789abcdef\uFFFD"}));

// RFC 4648's vectors, in both alphabets, and the URL-safe decoding the app reads ID tokens with.
TEST(Base64, MatchesTheStandardVectorsInBothAlphabets) {
    const std::vector<std::pair<std::string, std::string>> vectors = {{"", ""},
                                                                      {"f", "Zg=="},
                                                                      {"fo", "Zm8="},
                                                                      {"foo", "Zm9v"},
                                                                      {"foob", "Zm9vYg=="},
                                                                      {"fooba", "Zm9vYmE="},
                                                                      {"foobar", "Zm9vYmFy"}};
    for (const auto& [text, encoded] : vectors) {
        EXPECT_EQ(base64::encode(text), encoded);
        const auto unpadded = encoded.substr(0, encoded.find('='));
        EXPECT_EQ(base64::encodeUrl(text), unpadded);
        EXPECT_EQ(base64::decodeUrlToString(unpadded), text);
        EXPECT_EQ(base64::decodeUrlToString(encoded), text) << "padding is optional";
    }
    const std::string high = "\xFB\xFF\xBF";
    EXPECT_EQ(base64::encode(high), "+/+/");
    EXPECT_EQ(base64::encodeUrl(high), "-_-_");
    EXPECT_EQ(base64::decodeUrlToString("-_-_"), high);
    for (const char* bad : {"+/+/", "Zm9v!", "Z", "Zm9vY"}) {
        EXPECT_FALSE(base64::decodeUrl(bad)) << bad;
    }
}

TEST(Url, ParsesTheParts) {
    const auto url = Url::parse("HTTPS://API.Orvane.com:8443/api/v1/ai/chat?x=1#frag");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme, "https");
    EXPECT_EQ(url->host, "api.orvane.com");
    EXPECT_EQ(url->port, 8443);
    EXPECT_EQ(url->pathAndQuery, "/api/v1/ai/chat?x=1");
}

TEST(Url, RejectsWhatIsNotAnHttpUrl) {
    for (const char* text :
         {"", "api.orvane.com/chat", "ftp://host/x", "https:///path", "https://host:0/",
          "https://host:65536/", "https://host:80a/", "https://ho st/", "https://user@host/",
          "https://[::1/", "https://host:/x", "not a url"}) {
        EXPECT_FALSE(Url::parse(text)) << text;
    }
}

TEST(Url, PlainHttpIsSafeOnlyForThisMachine) {
    for (const char* text : {"http://127.0.0.1:8787/a", "http://127.8.9.10/", "http://localhost/",
                             "http://[::1]:8787/", "https://example.com/"}) {
        ASSERT_TRUE(Url::parse(text)) << text;
        EXPECT_TRUE(Url::parse(text)->isSafeForCredentials()) << text;
    }
    for (const char* text : {"http://example.com/", "http://128.0.0.1/",
                             "http://127.0.0.1.evil.com/", "http://localhost.evil.com/",
                             "http://10.0.0.1/", "http://[::2]/", "http://127.0.0.256/"}) {
        ASSERT_TRUE(Url::parse(text)) << text;
        EXPECT_FALSE(Url::parse(text)->isSafeForCredentials()) << text;
    }
}

}  // namespace
}  // namespace orvane
