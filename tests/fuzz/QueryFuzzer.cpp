// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// The query of a sign-in redirect: whatever page sent the browser there wrote it. Besides crashes
// it checks that decoding is the inverse of the encoding the app uses for its own queries: items
// written out and read back are the items.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "accounts/OAuthEncoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto items = orvane::oauth::queryItems("scheme:/redirect?" + text);
    if (!items) return 0;
    std::vector<orvane::oauth::QueryItem> named;
    for (const auto& item : *items) {
        // Names and values as the app writes them: a name is never empty, and a value is given.
        if (!item.first.empty()) named.push_back({item.first, item.second.value_or("")});
    }
    const auto written = orvane::oauth::urlWithQuery("scheme:/redirect", named);
    const auto read = orvane::oauth::queryItems(written);
    if (named.empty()) return 0;
    if (!read || *read != named) std::abort();
    return 0;
}
