// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace orvane::backend {

// Nothing the app sends nests deeper than a few levels; deeper input is refused before it is
// parsed, so a body of brackets cannot make the parser recurse a million times.
inline constexpr int kMaxJsonNesting = 32;

inline bool nestsWithin(std::string_view text, int maxDepth) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > maxDepth) return false;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return true;
}

// A request body as JSON: discarded (a value that is not an object) when it does not parse or
// nests too deeply.
inline nlohmann::json parseUntrusted(std::string_view body) {
    if (!nestsWithin(body, kMaxJsonNesting)) return nlohmann::json::value_t::discarded;
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
