// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "integration/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace orvane::testing {

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Reads one request; false when the peer closed first or sent garbage.
bool readRequest(int fd, ReceivedRequest& request) {
    std::string data;
    char buffer[65536];
    std::size_t headerEnd;
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
        const auto n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    const auto head = data.substr(0, headerEnd);
    const auto lineEnd = head.find("\r\n");
    const auto requestLine = head.substr(0, lineEnd);
    const auto space1 = requestLine.find(' ');
    const auto space2 = requestLine.find(' ', space1 + 1);
    request.method = requestLine.substr(0, space1);
    request.target = requestLine.substr(space1 + 1, space2 - space1 - 1);
    std::size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        auto end = head.find("\r\n", pos);
        if (end == std::string::npos) end = head.size();
        const auto line = head.substr(pos, end - pos);
        const auto colon = line.find(':');
        if (colon != std::string::npos) {
            auto value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            request.headers[lower(line.substr(0, colon))] = value;
        }
        pos = end + 2;
    }
    std::size_t length = 0;
    if (auto it = request.headers.find("content-length"); it != request.headers.end()) {
        length = std::stoul(it->second);
    }
    request.body = data.substr(headerEnd + 4);
    while (request.body.size() < length) {
        const auto n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        request.body.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

LoopbackConnection::LoopbackConnection(int fd, ReceivedRequest request,
                                       const std::atomic<bool>& stopping)
    : m_fd(fd), m_request(std::move(request)), m_stopping(stopping) {}

LoopbackConnection::~LoopbackConnection() = default;

bool LoopbackConnection::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const auto n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool LoopbackConnection::pause(double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (m_stopping) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return !m_stopping;
}

void LoopbackConnection::reset() {
    linger option{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
    m_reset = true;
}

LoopbackServer::LoopbackServer(Handler handler, const std::string& unixPath)
    : m_handler(std::move(handler)) {
    if (!unixPath.empty()) {
        m_listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        unixPath.copy(address.sun_path, sizeof address.sun_path - 1);
        if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listenFd, 256) != 0) {
            throw std::runtime_error("bind/listen failed on " + unixPath);
        }
        m_acceptThread = std::thread([this] { acceptLoop(); });
        return;
    }
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) throw std::runtime_error("socket failed");
    const int yes = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 256) != 0) {
        throw std::runtime_error("bind/listen failed");
    }
    socklen_t length = sizeof address;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
    m_stopping = true;
    ::shutdown(m_listenFd, SHUT_RDWR);
    m_acceptThread.join();
    ::close(m_listenFd);
    {
        std::lock_guard lock(m_mutex);
        for (int fd : m_openFds) ::shutdown(fd, SHUT_RDWR);
    }
    for (auto& worker : m_workers) worker.join();
}

std::vector<ReceivedRequest> LoopbackServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void LoopbackServer::acceptLoop() {
    while (!m_stopping) {
        pollfd waiting{m_listenFd, POLLIN, 0};
        if (::poll(&waiting, 1, 50) <= 0) continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        const int yes = 1;
        if (m_port) ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        ++m_connections;
        std::lock_guard lock(m_mutex);
        m_openFds.push_back(fd);
        m_workers.emplace_back([this, fd] { serve(fd); });
    }
}

void LoopbackServer::serve(int fd) {
    ReceivedRequest request;
    bool reset = false;
    if (readRequest(fd, request)) {
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
        }
        LoopbackConnection connection(fd, std::move(request), m_stopping);
        m_handler(connection);
        reset = connection.wasReset();
    }
    std::lock_guard lock(m_mutex);
    std::erase(m_openFds, fd);
    // Closed at once with no lingering, the connection ends with a reset and nothing before it.
    if (!reset) ::shutdown(fd, SHUT_WR);
    ::close(fd);
}

std::string eventStreamHead() {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-cache\r\n"
           "Connection: close\r\n\r\n";
}

std::string statusReply(int status, std::string_view body) {
    return "HTTP/1.1 " + std::to_string(status) + " Status\r\nContent-Type: text/plain\r\n" +
           "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
           std::string(body);
}

}  // namespace orvane::testing
