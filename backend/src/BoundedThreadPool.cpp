// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "BoundedThreadPool.h"

namespace orvane::backend {

BoundedThreadPool::BoundedThreadPool(std::size_t threads, std::size_t maxWaiting)
    : m_maxWaiting(maxWaiting) {
    for (std::size_t i = 0; i < threads; ++i) m_threads.emplace_back([this] { work(); });
}

BoundedThreadPool::~BoundedThreadPool() {
    shutdown();
}

void BoundedThreadPool::enqueue(std::function<void()> job) {
    {
        std::unique_lock lock(m_mutex);
        m_roomReady.wait(lock, [this] { return m_jobs.size() < m_maxWaiting || m_shuttingDown; });
        // At shutdown the job still runs: it owns the connection and closes it.
        m_jobs.push_back(std::move(job));
    }
    m_jobReady.notify_one();
}

void BoundedThreadPool::shutdown() {
    {
        std::lock_guard lock(m_mutex);
        if (m_shuttingDown && m_threads.empty()) return;
        m_shuttingDown = true;
    }
    m_jobReady.notify_all();
    m_roomReady.notify_all();
    for (auto& thread : m_threads) thread.join();
    m_threads.clear();
}

void BoundedThreadPool::work() {
    while (true) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_jobReady.wait(lock, [this] { return !m_jobs.empty() || m_shuttingDown; });
            if (m_jobs.empty()) return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        m_roomReady.notify_one();
        job();
    }
}

}  // namespace orvane::backend
