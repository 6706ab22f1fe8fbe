// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "protocol/ChatBody.h"

namespace orvane::backend {

// A request body as JSON: discarded (a value that is not an object) when it does not parse or
// nests deeper than anything the app sends, which is refused before it is parsed.
inline nlohmann::json parseUntrusted(std::string_view body) {
    if (!chat::nestsWithin(body, chat::maxNesting)) return nlohmann::json::value_t::discarded;
    return nlohmann::json::parse(body, nullptr, false);
}

// Members read from untrusted JSON: a member of another type counts as missing, never throws.
inline std::optional<std::string> stringField(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) return std::nullopt;
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

inline std::optional<std::int64_t> integerField(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) return std::nullopt;
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number()) return std::nullopt;
    return it->is_number_float() ? static_cast<std::int64_t>(it->get<double>())
                                 : it->get<std::int64_t>();
}

}  // namespace orvane::backend
