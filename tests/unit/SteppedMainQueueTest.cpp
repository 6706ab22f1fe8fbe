// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "fakes/ManualMainQueue.h"

namespace orvane::testing {
namespace {

TEST(SteppedMainQueue, RunsPostsInOrderNeverInsidePostAndDelayedOnesInVirtualTime) {
    ManualMainQueue queue;
    std::vector<int> order;
    queue.post([&] {
        order.push_back(1);
        queue.post([&] { order.push_back(3); });
    });
    queue.post([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(queue.runUntilIdle(), 3u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));

    // Delayed blocks run when virtual time reaches them.
    const auto start = queue.now();
    std::vector<double> firedAt;
    const auto record = [&] {
        firedAt.push_back(std::chrono::duration<double>(queue.now() - start).count());
    };
    queue.postAfter(0.3, record);
    queue.postAfter(0.1, record);
    queue.advance(0.2);
    ASSERT_EQ(firedAt.size(), 1u);
    EXPECT_DOUBLE_EQ(firedAt[0], 0.1);
    queue.advance(1.0);
    ASSERT_EQ(firedAt.size(), 2u);
    EXPECT_NEAR(firedAt[1], 0.3, 1e-9);
    EXPECT_NEAR(std::chrono::duration<double>(queue.now() - start).count(), 1.2, 1e-9);
}

TEST(SteppedMainQueue, InvalidatedOrDestroyedTimersNeverFireAndRepeatingOnesRepeat) {
    ManualMainQueue queue;
    int fired = 0;
    auto kept = queue.scheduleTimer(1.0, false, [&] { ++fired; });
    auto invalidated = queue.scheduleTimer(1.0, false, [&] { fired += 10; });
    invalidated->invalidate();
    queue.scheduleTimer(1.0, false, [&] { fired += 100; });  // handle dropped at once
    queue.advance(5);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(queue.pendingCount(), 0u);

    // A repeating one fires every interval until invalidated.
    int ticks = 0;
    auto timer = queue.scheduleTimer(1.0, true, [&] { ++ticks; });
    queue.advance(3.5);
    EXPECT_EQ(ticks, 3);
    timer->invalidate();
    queue.advance(3);
    EXPECT_EQ(ticks, 3);
}

}  // namespace
}  // namespace orvane::testing
