// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "StreamLimiter.h"

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

}  // namespace orvane::backend
