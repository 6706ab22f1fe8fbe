// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "session/StreamDelegate.h"

#include "platform/MainQueue.h"
#include "protocol/ChatBody.h"
#include "protocol/Utf8.h"
#include "session/SessionMessages.h"

namespace orvane {

StreamDelegate::StreamDelegate(Receiver receiver, MainQueue& mainQueue)
    : m_receiver(std::make_shared<const Receiver>(std::move(receiver))), m_mainQueue(mainQueue) {}

std::string StreamDelegate::messageForStatus(int statusCode) {
    switch (statusCode) {
        case 401:
            return messages::sessionExpired;
        case 403:
            return messages::chatForbidden;
        case 404:
            return messages::endpointMissing;
        case 429:
            return messages::tooManyRequests;
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
    if (response.statusCode == 401) {
        deliver({{Report::Type::unauthorized, {}, 401}});
    } else {
        deliver(
            {{Report::Type::failure, messageForStatus(response.statusCode), response.statusCode}});
    }
}

bool StreamDelegate::didReceiveData(std::string_view bytes) {
    // An error body is never read.
    if (m_httpError || m_failed) return true;
    std::vector<AnswerStreamDecoder::Event> events;
    const bool ok = m_decoder.feed(bytes, events);
    std::vector<Report> reports;
    reports.reserve(events.size());
    bool tooLong = false;
    for (auto& event : events) {
        if (tooLong) break;
        switch (event.type) {
            case AnswerStreamDecoder::Event::Type::delta:
                if (event.text.size() > chat::maxAnswerBytes - m_answerBytes) {
                    event.text =
                        std::string(utf8::cut(event.text, chat::maxAnswerBytes - m_answerBytes));
                    tooLong = true;
                }
                m_answerBytes += event.text.size();
                if (!event.text.empty()) {
                    reports.push_back({Report::Type::delta, std::move(event.text), 0});
                }
                break;
            case AnswerStreamDecoder::Event::Type::stop:
                m_sawEndEvent = true;
                reports.push_back({Report::Type::stop, {}, 0});
                break;
            case AnswerStreamDecoder::Event::Type::error:
                m_sawEndEvent = true;
                reports.push_back({Report::Type::failure, std::move(event.text), 0});
                break;
        }
    }
    if (!reports.empty()) deliver(std::move(reports));
    if (tooLong) {
        breakOff("The answer went on past 256 KiB, the most Orvane takes.");
        return false;
    }
    if (!ok) {
        breakOff("A line of the answer was longer than 1 MiB.");
        return false;
    }
    return true;
}

void StreamDelegate::didComplete(const std::optional<std::string>& error) {
    if (m_failed) return;
    if (error) {
        breakOff(*error);
    } else if (!m_httpError && !m_sawEndEvent) {
        breakOff("The answer ended before it was complete.");
    }
}

void StreamDelegate::breakOff(std::string reason) {
    m_failed = true;
    deliver({{Report::Type::broken, std::move(reason), 0}});
}

// One block per chunk keeps the main queue light; inside it every event is reported in order, so
// three deltas still give three growing answers.
void StreamDelegate::deliver(std::vector<Report> reports) {
    m_mainQueue.post(
        [receiver = m_receiver, answer = m_fullResponse, reports = std::move(reports)] {
            for (const auto& report : reports) {
                if (!receiver->isAwaiting || !receiver->isAwaiting()) return;
                switch (report.type) {
                    case Report::Type::delta:
                        answer->append(report.text);
                        if (receiver->onDelta) receiver->onDelta(*answer);
                        break;
                    case Report::Type::stop:
                        if (receiver->onStop) receiver->onStop(*answer);
                        break;
                    case Report::Type::failure:
                        if (receiver->onFailure) receiver->onFailure(report.text, report.status);
                        break;
                    case Report::Type::broken:
                        if (receiver->onBroken) receiver->onBroken(report.text);
                        break;
                    case Report::Type::unauthorized:
                        if (receiver->onUnauthorized) receiver->onUnauthorized();
                        break;
                }
            }
        });
}

}  // namespace orvane
