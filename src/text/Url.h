// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// An absolute http(s) URL taken apart.
struct Url {
    std::string scheme;  // lower case: "http" or "https"
    std::string host;    // lower case; an IPv6 address keeps its brackets
    std::optional<int> port;
    std::string pathAndQuery;  // from the first "/" or "?" on, possibly empty

    // Parses an absolute http or https URL; nothing for anything else (other schemes, a missing
    // host, a bad port, spaces or control characters).
    static std::optional<Url> parse(std::string_view text);

    // 127.0.0.0/8, ::1 and localhost.
    bool isLoopback() const;
    // Where Orvane may send tokens and questions: https anywhere, plain http only to this machine.
    bool isSafeForCredentials() const { return scheme == "https" || isLoopback(); }
};

// An API base as typed, without the slashes it may end in, so that a path joins it cleanly.
std::string withoutTrailingSlashes(std::string url);

}  // namespace orvane
