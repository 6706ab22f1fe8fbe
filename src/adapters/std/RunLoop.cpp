// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/std/RunLoop.h"

namespace orvane {

struct RunLoopItem {
    MainQueue::Block block;
    double repeatInterval = 0;
    bool invalidated = false;  // guarded by the state's mutex
};

struct RunLoopState {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<MainQueue::Block> ready;
    std::multimap<std::chrono::steady_clock::time_point, std::shared_ptr<RunLoopItem>> timers;
    bool quitRequested = false;
};

namespace {

std::chrono::steady_clock::duration toDuration(double seconds) {
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(seconds));
}

class RunLoopTimer : public Timer {
public:
    RunLoopTimer(std::weak_ptr<RunLoopState> state, std::weak_ptr<RunLoopItem> item)
        : m_state(std::move(state)), m_item(std::move(item)) {}
    ~RunLoopTimer() override { invalidate(); }

    void invalidate() override {
        auto state = m_state.lock();
        auto item = m_item.lock();
        if (!state || !item) return;
        std::lock_guard lock(state->mutex);
        item->invalidated = true;
    }

private:
    std::weak_ptr<RunLoopState> m_state;
    std::weak_ptr<RunLoopItem> m_item;
};

}  // namespace

RunLoop::RunLoop() : m_state(std::make_shared<RunLoopState>()) {}

RunLoop::~RunLoop() = default;

void RunLoop::post(Block block) {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->ready.push_back(std::move(block));
    }
    m_state->wake.notify_one();
}

void RunLoop::postAfter(double seconds, Block block) {
    auto item = std::make_shared<RunLoopItem>();
    item->block = std::move(block);
    schedule(Steady::now() + toDuration(seconds), std::move(item));
}

std::unique_ptr<Timer> RunLoop::scheduleTimer(double interval, bool repeats, Block block) {
    auto item = std::make_shared<RunLoopItem>();
    item->block = std::move(block);
    item->repeatInterval = repeats ? interval : 0;
    std::weak_ptr<RunLoopItem> weakItem = item;
    schedule(Steady::now() + toDuration(interval), std::move(item));
    return std::make_unique<RunLoopTimer>(m_state, weakItem);
}

MainQueue::TimePoint RunLoop::now() const {
    return std::chrono::system_clock::now();
}

void RunLoop::schedule(Steady::time_point due, std::shared_ptr<RunLoopItem> item) {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->timers.emplace(due, std::move(item));
    }
    m_state->wake.notify_one();
}

bool RunLoop::runOne(Steady::time_point deadline) {
    Block block;
    {
        std::unique_lock lock(m_state->mutex);
        while (true) {
            if (m_state->quitRequested) return false;
            // Delayed blocks that have fallen due join the ready ones in due order.
            const auto now = Steady::now();
            while (!m_state->timers.empty() && m_state->timers.begin()->first <= now) {
                auto node = m_state->timers.extract(m_state->timers.begin());
                auto item = node.mapped();
                if (item->invalidated) continue;
                if (item->repeatInterval > 0) {
                    m_state->timers.emplace(now + toDuration(item->repeatInterval), item);
                    // Run the block only while the timer is still valid when its turn comes.
                    m_state->ready.push_back([weak = std::weak_ptr(item), state = m_state] {
                        auto alive = weak.lock();
                        if (!alive) return;
                        {
                            std::lock_guard guard(state->mutex);
                            if (alive->invalidated) return;
                        }
                        alive->block();
                    });
                } else {
                    m_state->ready.push_back([item, state = m_state] {
                        {
                            std::lock_guard guard(state->mutex);
                            if (item->invalidated) return;
                        }
                        item->block();
                    });
                }
            }
            if (!m_state->ready.empty()) {
                block = std::move(m_state->ready.front());
                m_state->ready.pop_front();
                break;
            }
            auto wakeAt = deadline;
            if (!m_state->timers.empty()) wakeAt = std::min(wakeAt, m_state->timers.begin()->first);
            if (Steady::now() >= deadline) return false;
            m_state->wake.wait_until(lock, wakeAt);
        }
    }
    block();
    return true;
}

void RunLoop::run() {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->quitRequested = false;
    }
    while (runOne(Steady::time_point::max())) {
    }
}

bool RunLoop::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
    const auto deadline = Steady::now() + toDuration(timeoutSeconds);
    {
        std::lock_guard lock(m_state->mutex);
        m_state->quitRequested = false;
    }
    while (!done()) {
        if (!runOne(deadline)) return done();
    }
    return true;
}

void RunLoop::quit() {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->quitRequested = true;
    }
    m_state->wake.notify_all();
}

}  // namespace orvane
