// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "BackendConfig.h"
#include "Database.h"
#include "IdentityVerifier.h"
#include "RateLimiter.h"
#include "TokenService.h"
#include "providers/ModelProvider.h"

namespace httplib {
class Server;
}

namespace orvane::backend {

class DevIdentityProvider;

// The reference service: sign-in exchange, chat, and the development identity provider, on one
// HTTP(S) server. Logs one line per request (method, path, status, duration, user id) and never a
// token or message text.
class BackendServer {
public:
    BackendServer(BackendConfig config, std::ostream& log);
    ~BackendServer();
    BackendServer(const BackendServer&) = delete;
    BackendServer& operator=(const BackendServer&) = delete;

    // Binds (port 0 picks a free one) and serves on a thread of its own; returns the port, or 0
    // with the reason in error.
    int start(std::string& error);
    // Serves on the calling thread until stop().
    bool run(std::string& error);
    void stop();

    int port() const { return m_port; }
    Database& database() { return *m_database; }

private:
    bool bind(std::string& error);
    void registerRoutes();
    void logRequest(const std::string& method, const std::string& path, int status);

    BackendConfig m_config;
    std::ostream& m_log;
    std::mutex m_logMutex;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<TokenService> m_tokens;
    std::unique_ptr<RateLimiter> m_rateLimiter;
    std::unique_ptr<DevIdentityProvider> m_devIdentity;
    std::vector<TrustedIssuer> m_googleIssuers;
    std::vector<TrustedIssuer> m_appleIssuers;
    std::map<std::string, std::unique_ptr<ModelProvider>> m_providers;  // by tier
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
};

}  // namespace orvane::backend
