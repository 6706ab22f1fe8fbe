// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "protocol/ConversationTurn.h"

// The chat endpoint's JSON: the question the app sends and the events the answer streams in, as
// both ends write and read them.
namespace orvane::chat {

// The largest body the backend accepts by default; screenshots are what fill it.
inline constexpr std::size_t maxBodyBytes = 20 * 1024 * 1024;
inline constexpr std::size_t maxMessages = 200;
inline constexpr std::size_t maxImagesPerTurn = 16;
// The longest answer either end takes; a model that goes on is cut there, and so is a server
// that sends more.
inline constexpr std::size_t maxAnswerBytes = 256 * 1024;
// Nothing the app sends nests deeper than a few levels.
inline constexpr int maxNesting = 32;

// "nano", "mini", "standard" or "vision".
bool isModel(std::string_view model);

// How an answer is shaped: "brief" (a few lines to say aloud, and what a body without one asks
// for), "detailed", "story" (situation, task, action, result) or "code" (code first).
inline constexpr std::string_view defaultAnswerStyle = "brief";
bool isAnswerStyle(std::string_view style);

// A question to answer: {"model", "messages", "systemContext"?, "answerStyle"?}.
struct Request {
    std::string model;
    std::vector<ConversationTurn> messages;
    std::string systemContext;
    std::string answerStyle{defaultAnswerStyle};

    // The last user turn but what the candidate said: the utterance to answer.
    const ConversationTurn* latestUserTurn() const;
};

// The same, over the sender's own data, for writing without copies.
struct RequestView {
    std::string_view model;
    const std::vector<ConversationTurn>& messages;
    std::string_view systemContext;  // left out of the body when empty
    std::string_view answerStyle{};  // left out when empty or the default
};

// Compact JSON; text that is not valid UTF-8 goes with U+FFFD in its place.
std::string encode(const RequestView& request);
// The request, or what is wrong with the body, as a sentence for a 400 reply.
std::variant<Request, std::string> parse(std::string_view body);

// Whether JSON text nests no deeper than maxDepth, found without parsing it, so that a body of
// brackets never makes a parser recurse.
bool nestsWithin(std::string_view text, int maxDepth);

// The answer's event-stream lines ("event: …" and "data: …", then a blank line).
std::string deltaEvent(std::string_view text);
std::string stopEvent();
std::string errorEvent(std::string_view message);

}  // namespace orvane::chat
