// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <thread>

#include "adapters/std/RunLoop.h"
#include "adapters/std/WorkerQueue.h"

namespace orvane {
namespace {

TEST(RunLoop, RunsBlocksPostedFromOtherThreadsInOrder) {
    RunLoop loop;
    std::vector<int> seen;
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i) loop.post([&seen, i] { seen.push_back(i); });
    });
    poster.join();
    ASSERT_TRUE(loop.runUntil([&] { return seen.size() == 100; }, 5));
    for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)], i);
}

TEST(RunLoop, TimersFireInDueOrderAndNotOnceInvalidated) {
    RunLoop loop;
    std::vector<std::string> fired;
    loop.postAfter(0.3, [&] { fired.push_back("late"); });
    loop.postAfter(0.02, [&] { fired.push_back("early"); });
    auto cancelled = loop.scheduleTimer(0.03, false, [&] { fired.push_back("cancelled"); });
    auto dropped = loop.scheduleTimer(0.03, false, [&] { fired.push_back("dropped"); });
    cancelled->invalidate();
    dropped.reset();
    int ticks = 0;
    auto repeating = loop.scheduleTimer(0.01, true, [&] {
        if (++ticks == 3) loop.post([&] { fired.push_back("third tick"); });
    });
    loop.runUntil([&] { return fired.size() == 3; }, 2);
    repeating->invalidate();
    const int ticksAtStop = ticks;
    loop.runUntil([] { return false; }, 0.05);
    EXPECT_EQ(fired, (std::vector<std::string>{"early", "third tick", "late"}));
    EXPECT_EQ(ticks, ticksAtStop) << "an invalidated repeating timer stays quiet";
}

TEST(RunLoop, RunUntilGivesUpAtItsTimeoutAndQuitEndsRun) {
    RunLoop loop;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(loop.runUntil([] { return false; }, 0.05));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(50));
    std::thread quitter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        loop.quit();
    });
    loop.run();
    quitter.join();
}

TEST(WorkerQueue, RunsBlocksSeriallyOffTheCallingThreadAndDrainsOnDestruction) {
    std::vector<int> order;
    std::thread::id worker;
    {
        WorkerQueue queue;
        for (int i = 0; i < 50; ++i) {
            queue.async([&, i] {
                worker = std::this_thread::get_id();
                order.push_back(i);
            });
        }
    }
    ASSERT_EQ(order.size(), 50u);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_NE(worker, std::this_thread::get_id());
}

}  // namespace
}  // namespace orvane
