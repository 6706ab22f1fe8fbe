// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "Database.h"

namespace orvane::backend {

// Each streamed answer holds a worker thread for as long as it runs, so answers are capped per
// user and in all, leaving workers free for sign-ins and for every other user.
class StreamLimiter {
public:
    StreamLimiter(int perUser, int total) : m_perUser(perUser), m_total(total) {}
    virtual ~StreamLimiter() = default;

    // A slot held while the answer streams: released when the last copy goes. Nothing when the
    // user or the server is at its limit.
    using Slot = std::shared_ptr<void>;
    virtual Slot acquire(std::int64_t userId);

    int running() const;

private:
    void release(std::int64_t userId);

    int m_perUser;
    int m_total;
    mutable std::mutex m_mutex;
    std::map<std::int64_t, int> m_byUser;
    int m_running = 0;
};

// The same caps, with each user's held as leases in the database several instances share, so a
// user's answers count on every instance. A lease is renewed while its answer streams; one whose
// instance died frees itself within leaseSeconds. The total stays this instance's own: it guards
// this instance's workers.
class LeasedStreamLimiter : public StreamLimiter {
public:
    using Clock = std::function<std::int64_t()>;  // seconds
    LeasedStreamLimiter(SharedLimits& limits, int perUser, int total, std::int64_t leaseSeconds,
                        Clock clock);
    ~LeasedStreamLimiter() override;

    Slot acquire(std::int64_t userId) override;

private:
    void renewWhileRunning();

    SharedLimits& m_limits;
    int m_perUser;
    std::int64_t m_leaseSeconds;
    Clock m_clock;
    std::mutex m_leaseMutex;
    std::condition_variable m_wake;
    std::set<std::string> m_held;
    bool m_stopping = false;
    std::thread m_renewer;
};

}  // namespace orvane::backend
