// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "Loopback.h"

#include <arpa/inet.h>

#include <cstring>

namespace orvane::backend {

bool isLoopbackAddress(const std::string& host) {
    if (host == "localhost") return true;
    std::string literal = host;
    if (literal.size() > 2 && literal.front() == '[' && literal.back() == ']') {
        literal = literal.substr(1, literal.size() - 2);
    }
    in_addr v4{};
    if (inet_pton(AF_INET, literal.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, literal.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
        // ::ffff:127.0.0.1, an IPv4 loopback address written for IPv6.
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return false;
}

bool isLoopbackUrl(const std::string& url) {
    const auto schemeEnd = url.find("://");
    if (schemeEnd == std::string::npos) return false;
    auto authority = url.substr(schemeEnd + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (authority.find('@') != std::string::npos) return false;
    if (authority.starts_with("["))
        return isLoopbackAddress(authority.substr(0, authority.find(']') + 1));
    return isLoopbackAddress(authority.substr(0, authority.find(':')));
}

}  // namespace orvane::backend
