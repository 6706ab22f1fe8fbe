// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "session/StreamDelegate.h"

#include "platform/MainQueue.h"
#include "session/SessionManager.h"

namespace orvane {

StreamDelegate::StreamDelegate(std::weak_ptr<SessionManager> manager, MainQueue& mainQueue)
    : m_manager(std::move(manager)), m_mainQueue(mainQueue) {}

std::string StreamDelegate::messageForStatus(int statusCode) {
    switch (statusCode) {
        case 401:
            return "Session expired -- please sign in again";
        case 403:
            return "AI chat not available for this account";
        case 404:
            return "AI endpoint not found -- is the server up to date?";
        case 429:
            return "Too many requests -- slow down a bit";
        default:
            break;
    }
    if (statusCode >= 500 && statusCode <= 599) {
        return "Server error (" + std::to_string(statusCode) + ") -- try again";
    }
    return "Request failed (HTTP " + std::to_string(statusCode) + ")";
}

void StreamDelegate::didReceiveResponse(const HttpResponse& response) {
    if (response.statusCode == 200) return;
    m_httpError = true;
    deliver({{AnswerStreamDecoder::Event::Type::error, messageForStatus(response.statusCode)}});
}

bool StreamDelegate::didReceiveData(std::string_view bytes) {
    // An error body is never read.
    if (m_httpError || m_failed) return true;
    std::vector<AnswerStreamDecoder::Event> events;
    const bool ok = m_decoder.feed(bytes, events);
    for (const auto& event : events) {
        if (event.type != AnswerStreamDecoder::Event::Type::delta) m_sawEndEvent = true;
    }
    if (!events.empty()) deliver(std::move(events));
    if (!ok) {
        fail("Stream error: a line of the answer was longer than 1 MiB");
        return false;
    }
    return true;
}

void StreamDelegate::didComplete(const std::optional<std::string>& error) {
    if (m_failed) return;
    if (error) {
        fail("Stream error: " + *error);
    } else if (!m_httpError && !m_sawEndEvent) {
        fail("Stream error: the answer ended before it was complete");
    }
}

void StreamDelegate::fail(std::string message) {
    m_failed = true;
    deliver({{AnswerStreamDecoder::Event::Type::error, std::move(message)}});
}

// One block per chunk keeps the main queue light; inside it every event is reported in order, so
// three deltas still give three growing answers.
void StreamDelegate::deliver(std::vector<AnswerStreamDecoder::Event> events) {
    m_mainQueue.post([manager = m_manager, answer = m_fullResponse, events = std::move(events)] {
        for (const auto& event : events) {
            auto session = manager.lock();
            if (!session) return;
            switch (event.type) {
                case AnswerStreamDecoder::Event::Type::delta:
                    answer->append(event.text);
                    if (session->onAnswer) session->onAnswer(*answer);
                    break;
                case AnswerStreamDecoder::Event::Type::stop:
                    session->completeAssistantMessage(*answer);
                    break;
                case AnswerStreamDecoder::Event::Type::error:
                    if (session->onError) session->onError(event.text);
                    session->completeAssistantMessage("");
                    break;
            }
        }
    });
}

}  // namespace orvane
