// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace orvane {

// A scheduled block on the main queue. Destroying the handle invalidates it, so an owner that
// drops its timer can never be called back by it.
class Timer {
public:
    virtual ~Timer() = default;
    // Stops the timer; its block never runs again. Main thread only; safe to call twice.
    virtual void invalidate() = 0;
};

// The main thread's run loop: every public core operation, timer and UI callback runs on it.
//
// post() and postAfter() may be called from any thread; blocks run on the main thread, one at a
// time, in the order they were posted (for postAfter, in the order they fall due). A block is
// never run inside the post() call that queued it. scheduleTimer() and now() are main-thread only.
class MainQueue {
public:
    using Block = std::function<void()>;
    using TimePoint = std::chrono::system_clock::time_point;

    virtual ~MainQueue() = default;

    virtual void post(Block block) = 0;
    virtual void postAfter(double seconds, Block block) = 0;

    // A one-shot (repeats = false) or repeating timer whose block runs every interval seconds
    // until the returned handle is invalidated or destroyed.
    virtual std::unique_ptr<Timer> scheduleTimer(double interval, bool repeats, Block block) = 0;

    // The current date and time as this queue sees it (virtual in tests).
    virtual TimePoint now() const = 0;
};

}  // namespace orvane
