// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>

namespace orvane::backend {

// Identity tokens already exchanged for a sign-in, remembered until they expire: one that comes
// back was copied on its way, and signs nobody in a second time.
class UsedTokens {
public:
    static constexpr std::size_t capacity = 100000;

    // Records the token; false when it was used before.
    bool firstUse(const std::string& token, std::int64_t expiresAt, std::int64_t now);
    std::size_t size() const;

private:
    mutable std::mutex m_mutex;
    std::map<std::string, std::int64_t> m_expiryByHash;
    std::set<std::pair<std::int64_t, std::string>> m_byExpiry;
};

}  // namespace orvane::backend
