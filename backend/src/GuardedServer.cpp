// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "GuardedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string_view>

namespace orvane::backend {

namespace {

constexpr std::string_view kRefusal =
    "HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Type: application/json\r\n"
    "Content-Length: 93\r\nConnection: close\r\n\r\n"
    "{\"details\":\"a request's header block takes at most 64 KiB and 100 lines\",\"error\":\"Too "
    "large\"}";
static_assert(kRefusal.size() - kRefusal.find("\r\n\r\n") - 4 == 93);

bool waitFor(int fd, short events, std::time_t seconds) {
    pollfd waiting{fd, events, 0};
    int ready;
    do {
        ready = ::poll(&waiting, 1, static_cast<int>(seconds * 1000));
    } while (ready < 0 && errno == EINTR);
    return ready > 0 && (waiting.revents & (events | POLLHUP | POLLERR)) != 0;
}

void addressOf(int fd, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int got = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length)
                         : ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ip.clear();
    port = 0;
    if (got != 0) return;
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        port = ntohs(v6.sin6_port);
    }
    ip = text;
}

// One connection, read through a buffer. While a request's head is being read it counts its
// bytes and lines, and past either limit answers 431 itself: the library then reads an error,
// and whatever it writes after that goes nowhere.
class GuardedStream : public httplib::Stream {
public:
    GuardedStream(int fd, const GuardedServer::Limits& limits) : m_fd(fd), m_limits(limits) {}

    void beginHead() {
        m_inHead = true;
        m_headBytes = 0;
        m_headLines = 0;
        m_lineLength = 0;
    }
    bool refused() const { return m_refused; }
    bool hasBuffered() const { return m_next < m_end; }

    bool is_readable() const override {
        return hasBuffered() || waitFor(m_fd, POLLIN, m_limits.readTimeoutSeconds);
    }
    bool is_writable() const override {
        return !m_refused && waitFor(m_fd, POLLOUT, m_limits.writeTimeoutSeconds);
    }

    ssize_t read(char* out, size_t size) override {
        if (m_refused) return -1;
        if (!hasBuffered()) {
            if (!waitFor(m_fd, POLLIN, m_limits.readTimeoutSeconds)) return -1;
            ssize_t got;
            do {
                got = ::recv(m_fd, m_buffer, sizeof m_buffer, 0);
            } while (got < 0 && errno == EINTR);
            if (got <= 0) return got;
            m_next = 0;
            m_end = static_cast<std::size_t>(got);
        }
        auto count = std::min(size, m_end - m_next);
        if (m_inHead) count = countHead(count);
        if (m_refused) return -1;
        std::memcpy(out, m_buffer + m_next, count);
        m_next += count;
        return static_cast<ssize_t>(count);
    }

    ssize_t write(const char* data, size_t size) override {
        if (m_refused) return static_cast<ssize_t>(size);
        return send(data, size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        addressOf(m_fd, true, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        addressOf(m_fd, false, ip, port);
    }
    socket_t socket() const override { return m_fd; }

private:
    // Looks at the next bytes of a head; returns how many of them belong to it (the end of the
    // head stops the counting there, so a body is never counted).
    std::size_t countHead(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const char c = m_buffer[m_next + i];
            if (++m_headBytes > m_limits.maxHeaderBytes) return refuse();
            if (c != '\n') {
                if (c != '\r') ++m_lineLength;
                continue;
            }
            if (m_lineLength == 0) {
                m_inHead = false;
                return i + 1;
            }
            m_lineLength = 0;
            if (++m_headLines > m_limits.maxHeaderLines) return refuse();
        }
        return count;
    }

    std::size_t refuse() {
        send(kRefusal.data(), kRefusal.size());
        m_refused = true;
        return 0;
    }

    ssize_t send(const char* data, size_t size) {
        if (!waitFor(m_fd, POLLOUT, m_limits.writeTimeoutSeconds)) return -1;
        ssize_t sent;
        do {
            sent = ::send(m_fd, data, size, MSG_NOSIGNAL);
        } while (sent < 0 && errno == EINTR);
        return sent;
    }

    int m_fd;
    const GuardedServer::Limits& m_limits;
    char m_buffer[4096];
    std::size_t m_next = 0;
    std::size_t m_end = 0;
    bool m_inHead = false;
    bool m_refused = false;
    std::size_t m_headBytes = 0;
    std::size_t m_headLines = 0;
    std::size_t m_lineLength = 0;
};

}  // namespace

GuardedServer::GuardedServer(Limits limits) : m_limits(limits) {
    set_read_timeout(limits.readTimeoutSeconds);
    set_write_timeout(limits.writeTimeoutSeconds);
    set_keep_alive_timeout(limits.keepAliveSeconds);
    set_keep_alive_max_count(limits.keepAliveRequests);
}

bool GuardedServer::process_and_close_socket(socket_t sock) {
    GuardedStream stream(sock, m_limits);
    bool closed = false;
    for (std::size_t left = m_limits.keepAliveRequests; left > 0 && !closed && is_running();
         --left) {
        // A kept-alive connection says nothing for a while before its next request, if any.
        const auto wait = left == m_limits.keepAliveRequests ? m_limits.readTimeoutSeconds
                                                             : m_limits.keepAliveSeconds;
        if (!stream.hasBuffered() && !waitFor(sock, POLLIN, wait)) break;
        stream.beginHead();
        const bool served = process_request(stream, left == 1, closed, nullptr);
        if (!served || stream.refused()) break;
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return true;
}

}  // namespace orvane::backend
