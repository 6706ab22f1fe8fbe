// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

namespace orvane::backend {

// A token bucket per user: up to `perMinute` requests in a burst, refilled evenly over a minute.
// Zero means no limit.
class RateLimiter {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit RateLimiter(int perMinute, Clock clock = std::chrono::steady_clock::now)
        : m_perMinute(perMinute), m_clock(std::move(clock)) {}

    // Takes one request from the user's bucket; false when it is empty.
    bool allow(std::int64_t userId);

private:
    struct Bucket {
        double tokens;
        std::chrono::steady_clock::time_point updated;
    };

    int m_perMinute;
    Clock m_clock;
    std::mutex m_mutex;
    std::map<std::int64_t, Bucket> m_buckets;
};

}  // namespace orvane::backend
