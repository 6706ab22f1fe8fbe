// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

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
    ChatRoute(Database& database, TokenService& tokens, RateLimiter& rateLimiter,
              StreamLimiter& streams,
              std::map<std::string, std::unique_ptr<ModelProvider>>& providers)
        : m_database(database),
          m_tokens(tokens),
          m_rateLimiter(rateLimiter),
          m_streams(streams),
          m_providers(providers) {}

    void registerOn(httplib::Server& server);

private:
    Database& m_database;
    TokenService& m_tokens;
    RateLimiter& m_rateLimiter;
    StreamLimiter& m_streams;
    std::map<std::string, std::unique_ptr<ModelProvider>>& m_providers;
};

}  // namespace orvane::backend
