// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "RateLimiter.h"

#include <algorithm>

namespace orvane::backend {

bool RateLimiter::allow(std::int64_t userId) {
    if (m_perMinute <= 0) return true;
    std::lock_guard lock(m_mutex);
    const auto now = m_clock();
    auto [it, inserted] = m_buckets.try_emplace(userId, Bucket{double(m_perMinute), now});
    auto& bucket = it->second;
    const double elapsed = std::chrono::duration<double>(now - bucket.updated).count();
    bucket.tokens = std::min<double>(m_perMinute, bucket.tokens + elapsed * m_perMinute / 60.0);
    bucket.updated = now;
    if (bucket.tokens < 1.0) return false;
    bucket.tokens -= 1.0;
    return true;
}

}  // namespace orvane::backend
