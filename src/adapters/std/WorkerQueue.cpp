// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/std/WorkerQueue.h"

namespace orvane {

WorkerQueue::WorkerQueue() : m_thread([this] { run(); }) {}

WorkerQueue::~WorkerQueue() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void WorkerQueue::async(std::function<void()> block) {
    {
        std::lock_guard lock(m_mutex);
        m_blocks.push_back(std::move(block));
    }
    m_wake.notify_one();
}

void WorkerQueue::run() {
    while (true) {
        std::function<void()> block;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_blocks.empty(); });
            if (m_blocks.empty()) return;
            block = std::move(m_blocks.front());
            m_blocks.pop_front();
        }
        block();
    }
}

}  // namespace orvane
