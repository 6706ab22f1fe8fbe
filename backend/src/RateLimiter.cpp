// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "RateLimiter.h"

#include <algorithm>

namespace orvane::backend {

bool RateLimiter::take(const std::string& key, bool charge) {
    if (m_perMinute <= 0) return true;
    std::lock_guard lock(m_mutex);
    const auto now = m_clock();
    if (m_buckets.size() >= m_sweepAt) forgetFullBuckets(now);
    auto [it, inserted] = m_buckets.try_emplace(key, Bucket{double(m_perMinute), now});
    auto& bucket = it->second;
    const double elapsed = std::chrono::duration<double>(now - bucket.updated).count();
    bucket.tokens = std::min<double>(m_perMinute, bucket.tokens + elapsed * m_perMinute / 60.0);
    bucket.updated = now;
    if (bucket.tokens < 1.0) return false;
    if (charge) bucket.tokens -= 1.0;
    return true;
}

std::size_t RateLimiter::trackedKeys() const {
    std::lock_guard lock(m_mutex);
    return m_buckets.size();
}

// A bucket that would be full by now is the same as no bucket at all.
void RateLimiter::forgetFullBuckets(std::chrono::steady_clock::time_point now) {
    std::erase_if(m_buckets, [&](const auto& entry) {
        const double elapsed = std::chrono::duration<double>(now - entry.second.updated).count();
        return entry.second.tokens + elapsed * m_perMinute / 60.0 >= m_perMinute;
    });
    // Sweeping again only once the map has doubled keeps the cost per request constant.
    m_sweepAt = std::max<std::size_t>(1024, 2 * m_buckets.size());
}

}  // namespace orvane::backend
