// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/BackgroundQueue.h"

namespace orvane {

// A BackgroundQueue on one thread of its own. Destruction runs what is already queued, then
// joins the thread.
class WorkerQueue : public BackgroundQueue {
public:
    WorkerQueue();
    ~WorkerQueue() override;
    WorkerQueue(const WorkerQueue&) = delete;
    WorkerQueue& operator=(const WorkerQueue&) = delete;

    void async(std::function<void()> block) override;

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_blocks;
    bool m_stopping = false;
    std::thread m_thread;
};

}  // namespace orvane
