// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace orvane::backend {

// Each streamed answer holds a worker thread for as long as it runs, so answers are capped per
// user and in all, leaving workers free for sign-ins and for every other user.
class StreamLimiter {
public:
    StreamLimiter(int perUser, int total) : m_perUser(perUser), m_total(total) {}

    // A slot held while the answer streams: released when the last copy goes. Nothing when the
    // user or the server is at its limit.
    using Slot = std::shared_ptr<void>;
    Slot acquire(std::int64_t userId);

    int running() const;

private:
    void release(std::int64_t userId);

    int m_perUser;
    int m_total;
    mutable std::mutex m_mutex;
    std::map<std::int64_t, int> m_byUser;
    int m_running = 0;
};

}  // namespace orvane::backend
