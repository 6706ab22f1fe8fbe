// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "accounts/OAuthEncoding.h"

#include <cctype>

namespace orvane::oauth {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool isUnreservedOrAllowed(unsigned char c, std::string_view extra) {
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' ||
           extra.find(static_cast<char>(c)) != std::string_view::npos;
}

std::string percentEncode(std::string_view text, std::string_view extra) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x80 && isUnreservedOrAllowed(c, extra)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Marks that may stand unencoded: the query characters of RFC 3986 less "+", "&" and "=", which
// would change how a form or a query reads.
constexpr std::string_view kFormExtra = "!$'()*,;:/?@";
constexpr std::string_view kQueryExtra = kFormExtra;

}  // namespace

std::string formBody(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::string body;
    for (const auto& [key, value] : pairs) {
        if (!body.empty()) body += '&';
        body += percentEncode(key, kFormExtra) + "=" + percentEncode(value, kFormExtra);
    }
    return body;
}

std::string urlWithQuery(std::string_view base, const std::vector<QueryItem>& items) {
    std::string url(base);
    char separator = '?';
    for (const auto& [name, value] : items) {
        url += separator;
        url += percentEncode(name, kQueryExtra);
        if (value) url += "=" + percentEncode(*value, kQueryExtra);
        separator = '&';
    }
    return url;
}

std::optional<std::vector<QueryItem>> queryItems(std::string_view url) {
    const auto question = url.find('?');
    if (question == std::string_view::npos) return std::nullopt;
    auto query = url.substr(question + 1);
    query = query.substr(0, query.find('#'));
    std::vector<QueryItem> items;
    std::size_t start = 0;
    while (start <= query.size()) {
        auto end = query.find('&', start);
        if (end == std::string_view::npos) end = query.size();
        const auto item = query.substr(start, end - start);
        if (!item.empty()) {
            const auto equals = item.find('=');
            if (equals == std::string_view::npos) {
                items.emplace_back(percentDecode(item), std::nullopt);
            } else {
                items.emplace_back(percentDecode(item.substr(0, equals)),
                                   percentDecode(item.substr(equals + 1)));
            }
        }
        start = end + 1;
    }
    return items;
}

}  // namespace orvane::oauth
