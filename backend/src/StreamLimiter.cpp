// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "StreamLimiter.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "Crypto.h"

namespace orvane::backend {

StreamLimiter::Slot StreamLimiter::acquire(std::int64_t userId) {
    {
        std::lock_guard lock(m_mutex);
        auto& mine = m_byUser[userId];
        if (mine >= m_perUser || m_running >= m_total) {
            if (mine == 0) m_byUser.erase(userId);
            return nullptr;
        }
        ++mine;
        ++m_running;
    }
    // The slot may be the last thing to go, after the server that made it; the limiter lives as
    // long as the server, which joins every worker before it is destroyed.
    return Slot(this, [this, userId](void*) { release(userId); });
}

void StreamLimiter::release(std::int64_t userId) {
    std::lock_guard lock(m_mutex);
    --m_running;
    if (--m_byUser[userId] <= 0) m_byUser.erase(userId);
}

int StreamLimiter::running() const {
    std::lock_guard lock(m_mutex);
    return m_running;
}

LeasedStreamLimiter::LeasedStreamLimiter(SharedLimits& limits, int perUser, int total,
                                         std::int64_t leaseSeconds, Clock clock)
    : StreamLimiter(perUser, total),
      m_limits(limits),
      m_perUser(perUser),
      m_leaseSeconds(leaseSeconds),
      m_clock(std::move(clock)),
      m_renewer([this] { renewWhileRunning(); }) {}

LeasedStreamLimiter::~LeasedStreamLimiter() {
    {
        std::lock_guard lock(m_leaseMutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_renewer.join();
}

StreamLimiter::Slot LeasedStreamLimiter::acquire(std::int64_t userId) {
    auto local = StreamLimiter::acquire(userId);
    if (!local) return nullptr;
    const auto now = m_clock();
    auto id = hex(randomBytes(12));
    if (!m_limits.acquireStreamLease(id, userId, m_perUser, now, now + m_leaseSeconds)) {
        return nullptr;
    }
    {
        std::lock_guard lock(m_leaseMutex);
        m_held.insert(id);
    }
    return Slot(this, [this, id, local = std::move(local)](void*) {
        {
            std::lock_guard lock(m_leaseMutex);
            m_held.erase(id);
        }
        try {
            m_limits.releaseStreamLease(id);
        } catch (const std::exception&) {
            // The database is away: the lease frees itself when it runs out.
        }
    });
}

// A third of the lease apart, so a renewal that fails once or twice does not let a running
// answer's lease run out.
void LeasedStreamLimiter::renewWhileRunning() {
    std::unique_lock lock(m_leaseMutex);
    while (!m_stopping) {
        m_wake.wait_for(lock, std::chrono::seconds(std::max<std::int64_t>(1, m_leaseSeconds / 3)));
        if (m_stopping) break;
        const std::vector<std::string> held(m_held.begin(), m_held.end());
        lock.unlock();
        try {
            m_limits.renewStreamLeases(held, m_clock() + m_leaseSeconds);
        } catch (const std::exception&) {
        }
        lock.lock();
    }
}

}  // namespace orvane::backend
