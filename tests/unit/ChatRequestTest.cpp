// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "session/ChatRequest.h"

namespace orvane {
namespace {

const std::vector<ConversationTurn> kOneQuestion = {{"user", "What is a B-tree?", {}}};

TEST(ChatRequest, PostsJsonWithTheBearerTokenAndTheTimeouts) {
    const auto request =
        ChatRequest::make("https://api.orvane.com", "tok-1", {"mini", kOneQuestion, ""});
    ASSERT_TRUE(request);
    EXPECT_EQ(request->method, "POST");
    EXPECT_EQ(request->url, "https://api.orvane.com/api/v1/ai/chat");
    using Header = std::pair<std::string, std::string>;
    EXPECT_EQ(request->headers, (std::vector<Header>{{"Content-Type", "application/json"},
                                                     {"Authorization", "Bearer tok-1"}}));
    EXPECT_EQ(request->idleTimeoutSeconds, 30) << "a model that went quiet";
    EXPECT_GE(request->totalTimeoutSeconds, 600) << "a long answer that still flows is not cut";
}

TEST(ChatRequest, EmptyContextAndTheDefaultStyleLeaveExactlyModelAndMessages) {
    for (const std::string_view style : {"", "brief"}) {
        const auto request =
            ChatRequest::make("https://api.orvane.com", "t", {"nano", kOneQuestion, "", style});
        ASSERT_TRUE(request && request->body);
        EXPECT_EQ(*request->body,
                  R"({"messages":[{"content":"What is a B-tree?","role":"user"}],"model":"nano"})");
    }
    const auto styleOf = [](std::string_view style) {
        return std::get<chat::Request>(chat::parse(chat::encode({"nano", kOneQuestion, "", style})))
            .answerStyle;
    };
    EXPECT_EQ(styleOf("code"), "code");
    EXPECT_EQ(styleOf(""), "brief") << "a body without a style asks for the default";
}

TEST(ChatRequest, CarriesContextAndImagesOnlyWhereGivenAndRepairsIllFormedText) {
    const std::vector<ConversationTurn> turns = {{"user", "look", {"AAA=", "BBB="}},
                                                 {"assistant", "I see code.", {}},
                                                 {"user", "and now?", {}}};
    const auto body =
        nlohmann::json::parse(chat::encode({"vision", turns, "Company: Acme\nRole: SRE"}));
    EXPECT_EQ(body["model"], "vision");
    EXPECT_EQ(body["systemContext"], "Company: Acme\nRole: SRE");
    ASSERT_EQ(body["messages"].size(), 3u);
    EXPECT_EQ(body["messages"][0]["images"], nlohmann::json({"AAA=", "BBB="}));
    EXPECT_FALSE(body["messages"][1].contains("images"));
    EXPECT_FALSE(body["messages"][2].contains("images"));
    EXPECT_EQ(body["messages"][1]["role"], "assistant");
    const auto repaired =
        nlohmann::json::parse(chat::encode({"mini", {{"user", "bad \xFF byte", {}}}, ""}));
    EXPECT_EQ(repaired["messages"][0]["content"], "bad \uFFFD byte") << "repaired, not dropped";
}

TEST(ChatRequest, RefusesUrlsThatAreNotSafeForTheToken) {
    for (const char* base : {"", "not a url", "ftp://api.orvane.com", "http://api.orvane.com",
                             "http://192.168.1.10:8787", "https://bad host"}) {
        EXPECT_FALSE(ChatRequest::make(base, "t", {"mini", kOneQuestion, ""})) << base;
    }
    for (const char* base : {"http://127.0.0.1:8787", "http://localhost:9000", "http://[::1]:1"}) {
        EXPECT_TRUE(ChatRequest::make(base, "t", {"mini", kOneQuestion, ""})) << base;
    }
}

}  // namespace
}  // namespace orvane
