// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <httplib.h>

#include <cstddef>
#include <ctime>

namespace orvane::backend {

// An HTTP server that reads each request's header block through a stream of its own and refuses
// one over maxHeaderBytes or maxHeaderLines with 431, having kept no more of it than that. The
// HTTP library takes every header a client sends and keeps them all until the request ends,
// whatever its version, so a block of 150,000 headers is 150 MB without this. Plain connections
// only: a TLS server is the library's own.
class GuardedServer : public httplib::Server {
public:
    struct Limits {
        std::size_t maxHeaderBytes = 64 * 1024;
        std::size_t maxHeaderLines = 100;  // the request line and the headers
        std::time_t readTimeoutSeconds = 30;
        std::time_t writeTimeoutSeconds = 30;
        std::time_t keepAliveSeconds = 5;
        std::size_t keepAliveRequests = 5;
    };
    explicit GuardedServer(Limits limits);
    explicit GuardedServer() : GuardedServer(Limits{}) {}

private:
    bool process_and_close_socket(socket_t sock) override;

    Limits m_limits;
};

}  // namespace orvane::backend
