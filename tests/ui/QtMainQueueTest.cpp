// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <QTest>
#include <thread>

#include "adapters/qt/QtMainQueue.h"

namespace orvane {
namespace {

TEST(QtMainQueue, RunsPostsFromAnyThreadOnTheGuiThreadInOrder) {
    QtMainQueue queue;
    std::vector<int> order;
    std::vector<bool> onGui;
    const auto gui = std::this_thread::get_id();
    std::thread poster([&] {
        for (int i = 0; i < 20; ++i) {
            queue.post([&, i] {
                order.push_back(i);
                onGui.push_back(std::this_thread::get_id() == gui);
            });
        }
    });
    poster.join();
    EXPECT_TRUE(order.empty()) << "nothing runs inside post";
    ASSERT_TRUE(QTest::qWaitFor([&] { return order.size() == 20; }, 2000));
    ASSERT_EQ(order.size(), 20u);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_EQ(std::count(onGui.begin(), onGui.end(), true), 20);
}

TEST(QtMainQueue, TimersFireUntilInvalidatedOrDropped) {
    QtMainQueue queue;
    int once = 0, repeated = 0, dropped = 0, delayed = 0;
    auto oneShot = queue.scheduleTimer(0.01, false, [&] { ++once; });
    auto repeating = queue.scheduleTimer(0.01, true, [&] { ++repeated; });
    queue.scheduleTimer(0.01, false, [&] { ++dropped; });  // handle dropped at once
    queue.postAfter(0.02, [&] { ++delayed; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return repeated >= 3; }, 2000));
    repeating->invalidate();
    const int atStop = repeated;
    QTest::qWait(60);
    EXPECT_EQ(once, 1);
    EXPECT_EQ(delayed, 1);
    EXPECT_EQ(dropped, 0);
    EXPECT_EQ(repeated, atStop);
}

}  // namespace
}  // namespace orvane
