// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "ChatRoute.h"

#include <httplib.h>

#include "Replies.h"
#include "protocol/ChatBody.h"
#include "protocol/Endpoints.h"

namespace orvane::backend {

namespace {

// Writes a provider's answer as the event stream the app reads.
class EventStreamSink : public AnswerSink {
public:
    explicit EventStreamSink(httplib::DataSink& sink) : m_sink(sink) {}

    bool delta(std::string_view text) override { return send(chat::deltaEvent(text)); }
    bool stop() override {
        const bool ok = send(chat::stopEvent());
        m_sink.done();
        return ok;
    }
    bool error(std::string_view message) override {
        const bool ok = send(chat::errorEvent(message));
        m_sink.done();
        return ok;
    }

private:
    bool send(const std::string& text) { return m_sink.write(text.data(), text.size()); }

    httplib::DataSink& m_sink;
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
        if (!m_rateLimiter.allow(std::to_string(*userId))) {
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
        // The slot goes with the provider: when the answer has been sent, or the client left.
        response.set_chunked_content_provider(
            "text/event-stream",
            [input, provider, slot = std::move(slot)](std::size_t, httplib::DataSink& sink) {
                EventStreamSink events(sink);
                provider->answer(*input, events);
                return false;  // the whole answer went out in this one call
            });
    });
}

}  // namespace orvane::backend
