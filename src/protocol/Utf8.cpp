// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "protocol/Utf8.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orvane::utf8 {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the well-formed sequence at position i, or 0 with `bad` set to the length of the
// maximal ill-formed subpart to replace (Unicode 15, table 3-7).
std::size_t sequenceLength(std::string_view s, std::size_t i, std::size_t& bad) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    bad = 1;
    if (c < 0x80) return 1;
    std::size_t need;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        need = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        need = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        need = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k < need; ++k) {
        if (i + k >= s.size()) {
            bad = k;
            return 0;
        }
        const unsigned char b = byte(i + k);
        const unsigned char low = k == 1 ? lo : 0x80;
        const unsigned char high = k == 1 ? hi : 0xBF;
        if (b < low || b > high) {
            bad = k;
            return 0;
        }
    }
    return need;
}

}  // namespace

bool isValid(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        // Plain ASCII dominates real text: skip it eight bytes at a time.
        while (i + 8 <= bytes.size()) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + i, sizeof word);
            if (word & 0x8080808080808080ULL) break;
            i += 8;
        }
        if (i >= bytes.size()) break;
        std::size_t bad;
        const auto n = sequenceLength(bytes, i, bad);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string sanitized(std::string_view bytes) {
    if (isValid(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + 8);
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t bad;
        const auto n = sequenceLength(bytes, i, bad);
        if (n == 0) {
            out += kReplacement;
            i += bad;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

void append(std::string& out, char32_t scalar) {
    if (scalar < 0x80) {
        out.push_back(static_cast<char>(scalar));
    } else if (scalar < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (scalar >> 6)));
        out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
    } else if (scalar < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (scalar >> 12)));
        out.push_back(static_cast<char>(0x80 | ((scalar >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (scalar >> 18)));
        out.push_back(static_cast<char>(0x80 | ((scalar >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((scalar >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
    }
}

std::string_view cut(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes) return text;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

}  // namespace orvane::utf8
