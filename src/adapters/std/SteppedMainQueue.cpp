// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/std/SteppedMainQueue.h"

#include <algorithm>

namespace orvane {

namespace {

std::chrono::system_clock::duration toDuration(double seconds) {
    return std::chrono::duration_cast<std::chrono::system_clock::duration>(
        std::chrono::duration<double>(seconds));
}

class ManualTimer : public Timer {
public:
    explicit ManualTimer(std::shared_ptr<bool> invalidated)
        : m_invalidated(std::move(invalidated)) {}
    ~ManualTimer() override { invalidate(); }
    void invalidate() override { *m_invalidated = true; }

private:
    std::shared_ptr<bool> m_invalidated;
};

}  // namespace

// A fixed, recognisable start date: 2026-01-01 00:00:00 UTC.
SteppedMainQueue::SteppedMainQueue()
    : m_now(std::chrono::sys_days{std::chrono::January / 1 / 2026}) {}

void SteppedMainQueue::post(Block block) {
    std::lock_guard lock(m_mutex);
    enqueue(m_now, std::move(block), nullptr, 0);
}

void SteppedMainQueue::postAfter(double seconds, Block block) {
    std::lock_guard lock(m_mutex);
    enqueue(m_now + toDuration(seconds), std::move(block), nullptr, 0);
}

std::unique_ptr<Timer> SteppedMainQueue::scheduleTimer(double interval, bool repeats, Block block) {
    auto invalidated = std::make_shared<bool>(false);
    std::lock_guard lock(m_mutex);
    enqueue(m_now + toDuration(interval), std::move(block), invalidated, repeats ? interval : 0);
    return std::make_unique<ManualTimer>(invalidated);
}

MainQueue::TimePoint SteppedMainQueue::now() const {
    std::lock_guard lock(m_mutex);
    return m_now;
}

void SteppedMainQueue::enqueue(TimePoint due, Block block, std::shared_ptr<bool> invalidated,
                               double repeat) {
    m_items.push_back(Item{due, m_sequence++, std::move(block), std::move(invalidated), repeat});
}

bool SteppedMainQueue::runNextDueBy(TimePoint limit) {
    Item item;
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_items, [](const Item& i) { return i.invalidated && *i.invalidated; });
        auto next =
            std::min_element(m_items.begin(), m_items.end(), [](const Item& a, const Item& b) {
                return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
            });
        if (next == m_items.end() || next->due > limit) return false;
        item = std::move(*next);
        m_items.erase(next);
        m_now = std::max(m_now, item.due);
        if (item.repeatInterval > 0) {
            enqueue(m_now + toDuration(item.repeatInterval), item.block, item.invalidated,
                    item.repeatInterval);
        }
    }
    item.block();
    return true;
}

std::size_t SteppedMainQueue::runUntilIdle() {
    std::size_t count = 0;
    while (runNextDueBy(now())) ++count;
    return count;
}

void SteppedMainQueue::advance(double seconds) {
    const auto target = now() + toDuration(seconds);
    while (runNextDueBy(target)) {
    }
    std::lock_guard lock(m_mutex);
    m_now = std::max(m_now, target);
}

std::size_t SteppedMainQueue::pendingCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<std::size_t>(
        std::count_if(m_items.begin(), m_items.end(),
                      [](const Item& i) { return !(i.invalidated && *i.invalidated); }));
}

}  // namespace orvane
