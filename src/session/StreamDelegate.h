// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/HttpClient.h"
#include "session/AnswerStreamDecoder.h"

namespace orvane {

class MainQueue;
class SessionManager;

// Receives the answer to one chat request and reports it to the session manager on the main
// queue: the growing answer to onAnswer, failures to onError, and the end to
// completeAssistantMessage. Results are dropped once the session manager is gone.
//
// Runs on the HTTP client's thread. The answer text is accumulated by the blocks it posts, on the
// main thread, so a long answer is never copied per delta across threads.
class StreamDelegate : public HttpStreamDelegate {
public:
    StreamDelegate(std::weak_ptr<SessionManager> manager, MainQueue& mainQueue);

    void didReceiveResponse(const HttpResponse& response) override;
    bool didReceiveData(std::string_view bytes) override;
    void didComplete(const std::optional<std::string>& error) override;

    // The user-facing message for a status other than 200.
    static std::string messageForStatus(int statusCode);

private:
    void deliver(std::vector<AnswerStreamDecoder::Event> events);
    void fail(std::string message);

    std::weak_ptr<SessionManager> m_manager;
    MainQueue& m_mainQueue;
    AnswerStreamDecoder m_decoder;
    // The answer as shown so far; owned by this request, read and written on the main thread only.
    std::shared_ptr<std::string> m_fullResponse = std::make_shared<std::string>();
    bool m_httpError = false;
    bool m_sawEndEvent = false;
    bool m_failed = false;
};

}  // namespace orvane
