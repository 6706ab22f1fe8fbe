// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "platform/MainQueue.h"

namespace orvane {

struct RunLoopItem;
struct RunLoopState;

// A main queue for programs without a GUI event loop (command-line tools, integration tests):
// the thread that calls run() or runUntil() becomes the main thread.
class RunLoop : public MainQueue {
public:
    RunLoop();
    ~RunLoop() override;

    void post(Block block) override;
    void postAfter(double seconds, Block block) override;
    std::unique_ptr<Timer> scheduleTimer(double interval, bool repeats, Block block) override;
    TimePoint now() const override;

    // Runs blocks until quit() is called.
    void run();
    // Runs blocks until done() holds after a block, or the timeout passes; returns done().
    bool runUntil(const std::function<bool()>& done, double timeoutSeconds);
    // Makes run() return after the block it is running; callable from any thread.
    void quit();

private:
    using Steady = std::chrono::steady_clock;

    void schedule(Steady::time_point due, std::shared_ptr<RunLoopItem> item);
    // Runs one block if one is due before the deadline; false when the deadline passed first.
    bool runOne(Steady::time_point deadline);

    std::shared_ptr<RunLoopState> m_state;
};

}  // namespace orvane
