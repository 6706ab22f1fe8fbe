// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvane::oauth {

using QueryItem = std::pair<std::string, std::optional<std::string>>;

// An application/x-www-form-urlencoded body: each key and value percent-encoded (UTF-8,
// upper-case hex) except letters, digits and - . _ ~ ! $ ' ( ) * , ; : / ? @.
std::string formBody(const std::vector<std::pair<std::string, std::string>>& pairs);

// The URL with the items as its query, in order; a space in a value becomes %20.
std::string urlWithQuery(std::string_view base, const std::vector<QueryItem>& items);

// The query items of a URL, in order, percent-decoded; nothing when the URL has no query. An
// item written without "=" has no value.
std::optional<std::vector<QueryItem>> queryItems(std::string_view url);

}  // namespace orvane::oauth
