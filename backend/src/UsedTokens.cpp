// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "UsedTokens.h"

#include "Crypto.h"

namespace orvane::backend {

bool UsedTokens::firstUse(const std::string& token, std::int64_t expiresAt, std::int64_t now) {
    const auto hash = sha256(token);
    std::lock_guard lock(m_mutex);
    while (!m_byExpiry.empty() &&
           (m_byExpiry.begin()->first <= now || m_byExpiry.size() >= capacity)) {
        m_expiryByHash.erase(m_byExpiry.begin()->second);
        m_byExpiry.erase(m_byExpiry.begin());
    }
    if (!m_expiryByHash.emplace(hash, expiresAt).second) return false;
    m_byExpiry.emplace(expiresAt, hash);
    return true;
}

std::size_t UsedTokens::size() const {
    std::lock_guard lock(m_mutex);
    return m_expiryByHash.size();
}

}  // namespace orvane::backend
