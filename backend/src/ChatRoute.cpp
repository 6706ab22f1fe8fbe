// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "ChatRoute.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <mutex>

#include "Replies.h"
#include "protocol/ChatBody.h"
#include "protocol/Endpoints.h"
#include "protocol/Utf8.h"

namespace orvane::backend {

namespace {

// Writes a provider's answer as the event stream the app reads. Writes come from the provider's
// thread and from a relay's watch on the client, one at a time.
class EventStreamSink : public AnswerSink {
public:
    EventStreamSink(httplib::DataSink& sink, ChatRoute::Deadlines deadlines,
                    StreamLimiter::Slot& slot)
        : m_sink(sink),
          m_deadlines(deadlines),
          m_slot(slot),
          m_started(Clock::now()),
          m_lastText(Clock::now().time_since_epoch().count()) {}

    // An answer stops at the cap, cut short with the reason, whatever the model would go on
    // with: the app's cost grows with every byte it is sent.
    bool delta(std::string_view text) override {
        const auto room = chat::maxAnswerBytes - std::min(m_answerBytes, chat::maxAnswerBytes);
        if (text.size() > room) {
            const auto fits = utf8::cut(text, room);
            m_answerBytes += fits.size();
            if (!fits.empty() && !send(chat::deltaEvent(fits), false)) return false;
            error(tooLong);
            return false;
        }
        m_answerBytes += text.size();
        m_lastText = Clock::now().time_since_epoch().count();
        return send(chat::deltaEvent(text), false);
    }
    bool stop() override {
        m_stopped = true;
        return send(chat::stopEvent(), true);
    }
    bool error(std::string_view message) override { return send(chat::errorEvent(message), true); }
    // A comment line, which the app's decoder skips; but it would keep the app waiting for as
    // long as the upstream sends nothing (or only comments of its own), so past a deadline the
    // answer ends instead.
    bool keepAlive() override {
        const auto now = Clock::now();
        const auto silent = now - Clock::time_point(Clock::duration(m_lastText.load()));
        if (silent > std::chrono::seconds(m_deadlines.textSeconds)) {
            error("The model sent nothing for " + std::to_string(m_deadlines.textSeconds) +
                  " seconds; the answer was given up.");
            return false;
        }
        if (now - m_started > std::chrono::seconds(m_deadlines.answerSeconds)) {
            error("The answer took longer than " + std::to_string(m_deadlines.answerSeconds / 60) +
                  " minutes; it was stopped there.");
            return false;
        }
        return send(":\n", false);
    }

    bool clientGone() const { return m_gone; }
    bool answeredWhole() const { return m_stopped && !m_gone; }

private:
    bool send(const std::string& text, bool last) {
        std::lock_guard lock(m_mutex);
        if (m_finished) return !m_gone;
        // The slot is free before the client can read that the answer ended, so a question asked
        // the moment it ends is not refused as one too many.
        if (last) m_slot.reset();
        if (!m_sink.write(text.data(), text.size())) m_gone = true;
        if (last) {
            m_finished = true;
            m_sink.done();
        }
        return !m_gone;
    }

    using Clock = std::chrono::steady_clock;
    static constexpr const char* tooLong =
        "The answer went on past 256 KiB, the most Orvane takes; it was stopped there.";
    httplib::DataSink& m_sink;
    ChatRoute::Deadlines m_deadlines;
    StreamLimiter::Slot& m_slot;
    Clock::time_point m_started;
    std::atomic<Clock::rep> m_lastText;  // written by the provider, read by the relay's watch
    std::size_t m_answerBytes = 0;
    std::mutex m_mutex;
    bool m_finished = false;
    bool m_gone = false;
    bool m_stopped = false;
};

}  // namespace

void ChatRoute::registerOn(httplib::Server& server) {
    server.Post(std::string(endpoints::chat), [this](const httplib::Request& request,
                                                     httplib::Response& response) {
        const auto token = bearerToken(request);
        const auto userId = token ? m_tokens.verifyAccessToken(*token) : std::nullopt;
        if (!userId) {
            errorReply(response, 401, "Unauthorized", "a valid bearer access token is required");
            return;
        }
        noteRequestUser(*userId);
        const auto user = m_database.userById(*userId);
        if (!user) {
            errorReply(response, 401, "Unauthorized", "the account no longer exists");
            return;
        }
        if (user->disabled) {
            errorReply(response, 403, "Account disabled", "this account has been disabled");
            return;
        }
        // A question sent ahead is charged only once its answer was read to the end: one the app
        // let go, because the speaker went on, costs the user nothing.
        const bool sentAhead = request.get_header_value("X-Orvane-Prefetch") == "1";
        const auto rateKey = std::to_string(*userId);
        if (sentAhead ? !m_rateLimiter.wouldAllow(rateKey) || !m_prefetchLimiter.allow(rateKey)
                      : !m_rateLimiter.allow(rateKey)) {
            response.set_header("Retry-After", "10");
            errorReply(response, 429, "Too many requests", "slow down a bit");
            return;
        }
        auto parsed = chat::parse(request.body);
        if (const auto* problem = std::get_if<std::string>(&parsed)) {
            errorReply(response, 400, "Invalid request", *problem);
            return;
        }
        auto slot = m_streams.acquire(*userId);
        if (!slot) {
            response.set_header("Retry-After", "5");
            errorReply(response, 429, "Too many answers at once",
                       "wait for an answer on its way to finish");
            return;
        }
        auto input = std::make_shared<chat::Request>(std::move(std::get<chat::Request>(parsed)));
        auto* provider = m_providers.at(input->model).get();
        response.set_header("Cache-Control", "no-cache");
        // The slot goes as the answer's last event is sent, or with the provider if the client
        // left.
        response.set_chunked_content_provider(
            "text/event-stream",
            [this, input, provider, sentAhead, rateKey, user = *userId, slot = std::move(slot)](
                std::size_t, httplib::DataSink& sink) mutable {
                EventStreamSink events(sink, m_deadlines, slot);
                provider->answer(*input, events);
                if (sentAhead) {
                    ++m_metrics.prefetches;
                    if (events.answeredWhole()) {
                        m_rateLimiter.allow(rateKey);
                    } else if (events.clientGone()) {
                        ++m_metrics.prefetchesCancelled;
                        if (onNote) onNote("prefetch cancelled user=" + std::to_string(user));
                    }
                }
                return false;  // the whole answer went out in this one call
            });
    });
}

}  // namespace orvane::backend
