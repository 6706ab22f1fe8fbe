// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orvane::backend {

// The HTTP server's workers, with a bounded wait list: once it is full, the thread accepting
// connections waits for room, and further clients wait in the kernel's listen queue, instead of
// every accepted connection costing memory here for as long as the workers are busy.
class BoundedThreadPool : public httplib::TaskQueue {
public:
    BoundedThreadPool(std::size_t threads, std::size_t maxWaiting);
    ~BoundedThreadPool() override;

    void enqueue(std::function<void()> job) override;
    void shutdown() override;

private:
    void work();

    std::size_t m_maxWaiting;
    std::mutex m_mutex;
    std::condition_variable m_jobReady;
    std::condition_variable m_roomReady;
    std::deque<std::function<void()>> m_jobs;
    bool m_shuttingDown = false;
    std::vector<std::thread> m_threads;
};

}  // namespace orvane::backend
