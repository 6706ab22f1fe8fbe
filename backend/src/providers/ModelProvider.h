// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
#include <string_view>

#include "protocol/ChatBody.h"

namespace orvane::backend {

// Where a provider writes the answer. Each call returns false once the client has gone, and the
// provider then stops.
class AnswerSink {
public:
    virtual ~AnswerSink() = default;
    virtual bool delta(std::string_view text) = 0;
    virtual bool stop() = 0;
    // The answer failed; the message is shown to the user.
    virtual bool error(std::string_view message) = 0;
    // Says nothing to the client but finds out whether it is still there; callable from any
    // thread while the answer is under way. False once it has gone.
    virtual bool keepAlive() { return true; }
};

// Answers a chat request by streaming text into the sink, ending with stop() or error().
class ModelProvider {
public:
    virtual ~ModelProvider() = default;
    virtual void answer(const chat::Request& input, AnswerSink& sink) = 0;
};

// What every model is told about its job, in the shape of answer the request asks for; the
// interview context is appended when given.
std::string interviewSystemPrompt(const chat::Request& input);

}  // namespace orvane::backend
