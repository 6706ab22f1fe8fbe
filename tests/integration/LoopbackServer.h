// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "fakes/EventStream.h"

namespace orvane::testing {

struct ReceivedRequest {
    std::string method;
    std::string target;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
};

// One accepted connection, handed to the server's handler on a thread of its own.
class LoopbackConnection {
public:
    LoopbackConnection(int fd, ReceivedRequest request, const std::atomic<bool>& stopping);
    ~LoopbackConnection();

    const ReceivedRequest& request() const { return m_request; }
    // Sends the bytes as one write; false once the peer has gone.
    bool write(std::string_view bytes);
    // Sleeps, waking early when the server stops; false when it did.
    bool pause(double seconds);
    // Ends the connection with a reset, not an orderly shutdown, once the handler returns.
    void reset();
    bool wasReset() const { return m_reset; }

private:
    int m_fd;
    ReceivedRequest m_request;
    const std::atomic<bool>& m_stopping;
    bool m_reset = false;
};

// An HTTP/1.1 server on 127.0.0.1 with byte-level control of every reply: the handler writes the
// raw response itself. Started by the constructor, stopped and joined by the destructor.
class LoopbackServer {
public:
    using Handler = std::function<void(LoopbackConnection&)>;

    // On a free loopback port, or on the Unix socket at unixPath (port() is then 0).
    explicit LoopbackServer(Handler handler, const std::string& unixPath = {});
    ~LoopbackServer();

    int port() const { return m_port; }
    std::string origin() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::vector<ReceivedRequest> requests() const;
    int connectionCount() const { return m_connections.load(); }

private:
    void acceptLoop();
    void serve(int fd);

    Handler m_handler;
    int m_listenFd = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_connections{0};
    std::thread m_acceptThread;
    mutable std::mutex m_mutex;
    std::vector<std::thread> m_workers;
    std::vector<int> m_openFds;
    std::vector<ReceivedRequest> m_requests;
};

// Reply pieces; the events themselves are in fakes/EventStream.h.
std::string eventStreamHead();
std::string statusReply(int status, std::string_view body);

}  // namespace orvane::testing
