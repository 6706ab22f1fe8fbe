// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "text/Url.h"

#include <algorithm>
#include <cctype>

#include "text/Text.h"

namespace orvane {

namespace {

std::string lowercase(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool isHostNameChar(unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '%' || c >= 0x80;
}

bool isDottedIPv4InLoopback(std::string_view host) {
    const auto parts = text::splitOmittingEmpty(host, '.');
    if (parts.size() != 4 || std::count(host.begin(), host.end(), '.') != 3) return false;
    for (auto part : parts) {
        if (part.size() > 3) return false;
        int value = 0;
        for (unsigned char c : part) {
            if (!std::isdigit(c)) return false;
            value = value * 10 + (c - '0');
        }
        if (value > 255) return false;
    }
    return parts[0] == "127";
}

}  // namespace

std::optional<Url> Url::parse(std::string_view text) {
    for (unsigned char c : text) {
        if (c <= 0x20 || c == 0x7F) return std::nullopt;
    }
    const auto schemeEnd = text.find("://");
    if (schemeEnd == std::string_view::npos) return std::nullopt;
    Url url;
    url.scheme = lowercase(text.substr(0, schemeEnd));
    if (url.scheme != "http" && url.scheme != "https") return std::nullopt;

    auto rest = text.substr(schemeEnd + 3);
    const auto authorityEnd = rest.find_first_of("/?#");
    auto authority = rest.substr(0, authorityEnd);
    url.pathAndQuery = authorityEnd == std::string_view::npos
                           ? std::string()
                           : std::string(rest.substr(authorityEnd));
    if (const auto fragment = url.pathAndQuery.find('#'); fragment != std::string::npos) {
        url.pathAndQuery.erase(fragment);
    }
    if (authority.find('@') != std::string_view::npos) return std::nullopt;

    std::string_view portText;
    if (authority.starts_with("[")) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos || close < 3) return std::nullopt;
        const auto inner = authority.substr(1, close - 1);
        if (!std::all_of(inner.begin(), inner.end(), [](unsigned char c) {
                return std::isxdigit(c) || c == ':' || c == '.';
            })) {
            return std::nullopt;
        }
        url.host = lowercase(authority.substr(0, close + 1));
        const auto after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return std::nullopt;
            portText = after.substr(1);
            if (portText.empty()) return std::nullopt;
        }
    } else {
        const auto colon = authority.find(':');
        const auto host = authority.substr(0, colon);
        if (host.empty() || !std::all_of(host.begin(), host.end(), isHostNameChar)) {
            return std::nullopt;
        }
        url.host = lowercase(host);
        if (colon != std::string_view::npos) {
            portText = authority.substr(colon + 1);
            if (portText.empty()) return std::nullopt;
        }
    }
    if (!portText.empty()) {
        if (portText.size() > 5) return std::nullopt;
        int port = 0;
        for (unsigned char c : portText) {
            if (!std::isdigit(c)) return std::nullopt;
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535) return std::nullopt;
        url.port = port;
    }
    return url;
}

bool Url::isLoopback() const {
    if (host == "localhost" || host == "localhost.") return true;
    if (host == "[::1]" || host == "[0:0:0:0:0:0:0:1]") return true;
    return isDottedIPv4InLoopback(host);
}

std::string withoutTrailingSlashes(std::string url) {
    while (!url.empty() && url.back() == '/') url.pop_back();
    return url;
}

}  // namespace orvane
