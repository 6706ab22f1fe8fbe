// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace orvane::backend {

// A token bucket per key (a user, a client address): up to `perMinute` requests in a burst,
// refilled evenly over a minute. Zero means no limit. Buckets that have filled up again are
// forgotten, so a stream of new keys costs no lasting memory.
class RateLimiter {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit RateLimiter(int perMinute, Clock clock = std::chrono::steady_clock::now)
        : m_perMinute(perMinute), m_clock(std::move(clock)) {}

    // Takes one request from the key's bucket; false when it is empty.
    bool allow(const std::string& key) { return take(key, true); }
    // Whether the bucket has a request left, taking none (for work charged only once done).
    bool wouldAllow(const std::string& key) { return take(key, false); }
    std::size_t trackedKeys() const;

private:
    struct Bucket {
        double tokens;
        std::chrono::steady_clock::time_point updated;
    };
    bool take(const std::string& key, bool charge);
    void forgetFullBuckets(std::chrono::steady_clock::time_point now);

    int m_perMinute;
    Clock m_clock;
    mutable std::mutex m_mutex;
    std::map<std::string, Bucket> m_buckets;
    std::size_t m_sweepAt = 1024;
};

}  // namespace orvane::backend
