// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <deque>
#include <functional>

#include "platform/BackgroundQueue.h"

namespace orvane::testing {

// A background queue that runs its blocks only when the test says so, on the test's thread.
class ManualBackgroundQueue : public BackgroundQueue {
public:
    void async(std::function<void()> block) override { m_blocks.push_back(std::move(block)); }

    std::size_t runAll() {
        std::size_t count = 0;
        while (!m_blocks.empty()) {
            auto block = std::move(m_blocks.front());
            m_blocks.pop_front();
            block();
            ++count;
        }
        return count;
    }
    std::size_t pendingCount() const { return m_blocks.size(); }
    // Drops what is waiting, as a process that ends does.
    void clear() { m_blocks.clear(); }

private:
    std::deque<std::function<void()>> m_blocks;
};

}  // namespace orvane::testing
