// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "Database.h"
#include "RateLimiter.h"
#include "StreamLimiter.h"
#include "TokenService.h"
#include "providers/ModelProvider.h"

namespace httplib {
class Server;
}

namespace orvane::backend {

// The chat route: a signed-in user's question, within their rate and stream limits, answered by
// the tier's provider as an event stream.
class ChatRoute {
public:
    // How long a model may take: to send text at all (the first or the next), and for the whole
    // answer. Past either, the answer ends with a reason and the upstream request is dropped.
    struct Deadlines {
        int textSeconds = 30;
        int answerSeconds = 600;
    };
    // rateLimiter counts questions asked; prefetchLimiter those sent ahead, each charged when it
    // starts, since one let go still cost an upstream request.
    ChatRoute(Database& database, TokenService& tokens, RateLimiter& rateLimiter,
              RateLimiter& prefetchLimiter, StreamLimiter& streams,
              std::map<std::string, std::unique_ptr<ModelProvider>>& providers, Deadlines deadlines)
        : m_database(database),
          m_tokens(tokens),
          m_rateLimiter(rateLimiter),
          m_prefetchLimiter(prefetchLimiter),
          m_streams(streams),
          m_providers(providers),
          m_deadlines(deadlines) {}

    void registerOn(httplib::Server& server);

    // Questions sent ahead of the app's silence rule, and those of them the app let go.
    struct Metrics {
        std::atomic<long> prefetches{0};
        std::atomic<long> prefetchesCancelled{0};
    };
    const Metrics& metrics() const { return m_metrics; }
    // A line for the server's log.
    std::function<void(const std::string&)> onNote;

private:
    Database& m_database;
    TokenService& m_tokens;
    RateLimiter& m_rateLimiter;
    RateLimiter& m_prefetchLimiter;
    StreamLimiter& m_streams;
    std::map<std::string, std::unique_ptr<ModelProvider>>& m_providers;
    Deadlines m_deadlines;
    Metrics m_metrics;
};

}  // namespace orvane::backend
