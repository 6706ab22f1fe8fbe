// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "protocol/Base64.h"

namespace orvane::base64 {

namespace {

constexpr char kStandard[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kUrlSafe[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string encodeWith(const std::uint8_t* bytes, std::size_t size, const char* alphabet,
                       bool pad) {
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const std::uint32_t n = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        for (const int shift : {18, 12, 6, 0}) out += alphabet[(n >> shift) & 63];
    }
    if (const auto rest = size - i; rest > 0) {
        std::uint32_t n = bytes[i] << 16;
        if (rest == 2) n |= bytes[i + 1] << 8;
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        if (rest == 2) out += alphabet[(n >> 6) & 63];
        if (pad) out.append(rest == 2 ? 1 : 2, '=');
    }
    return out;
}

const std::uint8_t* bytesOf(std::string_view text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

}  // namespace

std::string encode(std::span<const std::uint8_t> bytes) {
    return encodeWith(bytes.data(), bytes.size(), kStandard, true);
}

std::string encode(std::string_view bytes) {
    return encodeWith(bytesOf(bytes), bytes.size(), kStandard, true);
}

std::string encodeUrl(std::span<const std::uint8_t> bytes) {
    return encodeWith(bytes.data(), bytes.size(), kUrlSafe, false);
}

std::string encodeUrl(std::string_view bytes) {
    return encodeWith(bytesOf(bytes), bytes.size(), kUrlSafe, false);
}

std::optional<std::vector<std::uint8_t>> decodeUrl(std::string_view text) {
    while (!text.empty() && text.back() == '=') text.remove_suffix(1);
    if (text.size() % 4 == 1) return std::nullopt;
    std::vector<std::uint8_t> out;
    out.reserve(text.size() * 3 / 4);
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        int value;
        if (c >= 'A' && c <= 'Z') {
            value = c - 'A';
        } else if (c >= 'a' && c <= 'z') {
            value = c - 'a' + 26;
        } else if (c >= '0' && c <= '9') {
            value = c - '0' + 52;
        } else if (c == '-') {
            value = 62;
        } else if (c == '_') {
            value = 63;
        } else {
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        if (++count == 4) {
            out.push_back(static_cast<std::uint8_t>(bits >> 16));
            out.push_back(static_cast<std::uint8_t>(bits >> 8));
            out.push_back(static_cast<std::uint8_t>(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count == 2) {
        out.push_back(static_cast<std::uint8_t>(bits >> 4));
    } else if (count == 3) {
        out.push_back(static_cast<std::uint8_t>(bits >> 10));
        out.push_back(static_cast<std::uint8_t>(bits >> 2));
    }
    return out;
}

std::optional<std::string> decodeUrlToString(std::string_view text) {
    auto bytes = decodeUrl(text);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

std::optional<std::string> decodeUrlCanonical(std::string_view text) {
    if (text.find('=') != std::string_view::npos) return std::nullopt;
    auto bytes = decodeUrlToString(text);
    if (!bytes || encodeUrl(*bytes) != text) return std::nullopt;
    return bytes;
}

}  // namespace orvane::base64
