// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "BackendConfig.h"
#include "Database.h"
#include "RateLimiter.h"
#include "StreamLimiter.h"
#include "TokenService.h"
#include "providers/ModelProvider.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace orvane::backend {

class AuthRoutes;
class ChatRoute;
class DevIdentityProvider;

// The reference service: sign-in exchange (AuthRoutes), chat (ChatRoute), and the development
// identity provider, on one HTTP(S) server, which keeps the limits every route shares, refuses
// what must not be read, and logs one line per request (method, path, status, duration, user id),
// never a token or message text.
//
// Built to face the internet (behind a TLS proxy or with its own certificate): each route takes a
// body of its own size at most, sign-ins are rate-limited per client address and chat per user,
// streamed answers are capped per user and in all, and the worker pool's wait list is bounded.
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
    // Ends the serving; a signal handler may call it (it joins nothing).
    void requestStop();
    void stop();

    int port() const { return m_port; }
    // The body sizes each route takes.
    static constexpr std::size_t signInBodyBytes = 16 * 1024;
    // Connections accepted and waiting for a worker, at most.
    static constexpr std::size_t maxWaitingConnections = 512;
    Database& database() { return *m_database; }

private:
    bool bind(std::string& error);
    bool bindPrivateSocket(std::string& error);
    void prepare(httplib::Server& server, int threads);
    // Every route, or (the TCP side of a private socket) the sign-in page alone.
    void registerRoutes(httplib::Server& server, bool signInPageOnly);
    void logRequest(const std::string& method, const std::string& path, int status);
    // Refuses what a route must not even read; Handled when it answered.
    bool refuseBeforeReading(const httplib::Request& request, httplib::Response& response);
    std::string clientAddress(const httplib::Request& request) const;
    bool acceptsHost(const std::string& host) const;

    BackendConfig m_config;
    std::ostream& m_log;
    std::mutex m_logMutex;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<TokenService> m_tokens;
    std::unique_ptr<RateLimiter> m_rateLimiter;
    std::unique_ptr<RateLimiter> m_prefetchLimiter;
    std::function<bool(const std::string& address)> m_signInAllowed;
    std::unique_ptr<StreamLimiter> m_streams;
    std::unique_ptr<DevIdentityProvider> m_devIdentity;
    std::map<std::string, std::unique_ptr<ModelProvider>> m_providers;  // by tier
    std::unique_ptr<AuthRoutes> m_authRoutes;
    std::unique_ptr<ChatRoute> m_chatRoute;
    std::unique_ptr<httplib::Server> m_server;
    // With --private-socket: the server on the Unix socket, and its thread.
    std::unique_ptr<httplib::Server> m_private;
    std::thread m_privateThread;
    std::thread m_thread;
    int m_port = 0;
};

}  // namespace orvane::backend
