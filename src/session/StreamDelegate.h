// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/HttpClient.h"
#include "protocol/AnswerStreamDecoder.h"

namespace orvane {

class MainQueue;

// Receives the answer to one chat request and reports it on the main queue: the growing answer,
// its end, a failure, or a refusal of the access token. The receiver decides what each means for
// the session; it is told nothing once it says it no longer awaits this answer.
//
// Runs on the HTTP client's thread. The answer text is accumulated by the blocks it posts, on the
// main thread, so a long answer is never copied per delta across threads.
class StreamDelegate : public HttpStreamDelegate {
public:
    // Every member is called on the main thread, in the order of the stream.
    struct Receiver {
        // False once the answer is no longer wanted (the request was cancelled or replaced).
        std::function<bool()> isAwaiting;
        std::function<void(const std::string& answerSoFar)> onDelta;
        std::function<void(const std::string& answer)> onStop;
        // A status other than 200 (but 401) or an error event; status is the HTTP status of a
        // refused request, 0 for an error event.
        std::function<void(const std::string& message, int status)> onFailure;
        // The stream broke after it began (timeout, lost connection, an end without its end
        // event): what arrived so far may still be worth keeping. reason is a sentence.
        std::function<void(const std::string& reason)> onBroken;
        // Status 401: the access token was refused. Its body is not read.
        std::function<void()> onUnauthorized;
    };

    StreamDelegate(Receiver receiver, MainQueue& mainQueue);

    void didReceiveResponse(const HttpResponse& response) override;
    bool didReceiveData(std::string_view bytes) override;
    void didComplete(const std::optional<std::string>& error) override;

    // The user-facing message for a status other than 200.
    static std::string messageForStatus(int statusCode);
    // The answer as received so far; read it on the main thread only, where it grows.
    std::shared_ptr<const std::string> answerSoFar() const { return m_fullResponse; }

private:
    struct Report {
        enum class Type { delta, stop, failure, broken, unauthorized } type;
        std::string text;
        int status = 0;
    };

    void deliver(std::vector<Report> reports);
    void breakOff(std::string reason);

    std::shared_ptr<const Receiver> m_receiver;
    MainQueue& m_mainQueue;
    AnswerStreamDecoder m_decoder;
    // The answer as shown so far; owned by this request, read and written on the main thread only.
    std::shared_ptr<std::string> m_fullResponse = std::make_shared<std::string>();
    bool m_httpError = false;
    bool m_sawEndEvent = false;
    bool m_failed = false;
    std::size_t m_answerBytes = 0;  // of the deltas taken so far
};

}  // namespace orvane
