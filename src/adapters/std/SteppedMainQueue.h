// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/MainQueue.h"

namespace orvane {

// A main queue on a clock of its own. Nothing runs until its owner says so: runUntilIdle() runs
// what is due now, advance() moves the clock and runs each block when its time comes. Tests use it
// to run timers in microseconds; tools use it to follow the time of audio fed faster than real
// time. post() is safe from any thread, so real worker threads may hand results to it.
class SteppedMainQueue : public MainQueue {
public:
    SteppedMainQueue();

    void post(Block block) override;
    void postAfter(double seconds, Block block) override;
    std::unique_ptr<Timer> scheduleTimer(double interval, bool repeats, Block block) override;
    TimePoint now() const override;

    // Runs every block that is due, including blocks posted meanwhile. Returns how many ran.
    std::size_t runUntilIdle();
    // Moves the clock forward, running each block at its due time, in order.
    void advance(double seconds);
    // Blocks waiting, due or not (invalidated timers excluded).
    std::size_t pendingCount() const;

private:
    struct Item {
        TimePoint due;
        std::uint64_t sequence;
        Block block;
        std::shared_ptr<bool> invalidated;
        double repeatInterval = 0;
    };

    void enqueue(TimePoint due, Block block, std::shared_ptr<bool> invalidated, double repeat);
    bool runNextDueBy(TimePoint limit);

    mutable std::mutex m_mutex;
    TimePoint m_now;
    std::uint64_t m_sequence = 0;
    std::vector<Item> m_items;
};

}  // namespace orvane
