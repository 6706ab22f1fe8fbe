// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// The URL parser decides where tokens may be sent. Besides crashes it checks that what it accepts
// is what it says: an http(s) URL whose parts hold no control characters, whose host carries no
// user information, and whose loopback verdict is one a plain-http token may trust.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "text/Url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto url = orvane::Url::parse(text);
    if (!url) return 0;
    if (url->scheme != "http" && url->scheme != "https") std::abort();
    if (url->host.empty() || url->host.find('@') != std::string::npos) std::abort();
    for (const unsigned char c : url->host + url->pathAndQuery) {
        if (c <= 0x20 || c == 0x7F) std::abort();
    }
    if (url->port && (*url->port < 1 || *url->port > 65535)) std::abort();
    if (url->pathAndQuery.find('#') != std::string::npos) std::abort();
    // Loopback only for 127.x.y.z, ::1 and localhost, never for a name that begins like one.
    if (url->isLoopback()) {
        const auto& host = url->host;
        const bool literal = host == "localhost" || host == "localhost." || host == "[::1]" ||
                             host == "[0:0:0:0:0:0:0:1]" ||
                             (host.starts_with("127.") &&
                              host.find_first_not_of("0123456789.") == std::string::npos);
        if (!literal) std::abort();
    }
    // Parsing what it took apart gives the same parts.
    const auto again =
        orvane::Url::parse(url->scheme + "://" + url->host +
                           (url->port ? ":" + std::to_string(*url->port) : "") + url->pathAndQuery);
    if (!again || again->host != url->host || again->port != url->port ||
        again->pathAndQuery != url->pathAndQuery) {
        std::abort();
    }
    return 0;
}
