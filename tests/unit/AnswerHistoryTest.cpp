// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "session/AnswerHistory.h"

namespace orvane {
namespace {

struct Notification {
    std::optional<QAPair> pair;
    int index;
    int count;
};

class AnswerHistoryTest : public ::testing::Test {
protected:
    AnswerHistoryTest() : history([this] { return clock; }) {
        history.onNavigated = [this](std::optional<QAPair> pair, int index, int count) {
            notifications.push_back({std::move(pair), index, count});
        };
    }
    void appendThree() {
        history.append("q1", "a1");
        history.append("q2", "a2");
        history.append("q3", "a3");
        notifications.clear();
    }

    std::chrono::system_clock::time_point clock{std::chrono::seconds(1'800'000'000)};
    AnswerHistory history;
    std::vector<Notification> notifications;
};

TEST_F(AnswerHistoryTest, AFreshHistoryHasNothingAndAnAppendStampsShowsAndNotifies) {
    EXPECT_FALSE(history.previous());
    EXPECT_FALSE(history.next());
    EXPECT_FALSE(history.latest());
    EXPECT_TRUE(history.isAtLatest());
    EXPECT_EQ(history.count(), 0);
    EXPECT_EQ(history.currentIndex(), -1);
    EXPECT_TRUE(notifications.empty());

    history.append("What is REST?", "An architectural style.");
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].pair->question, "What is REST?");
    EXPECT_EQ(notifications[0].pair->answer, "An architectural style.");
    EXPECT_EQ(notifications[0].pair->timestamp, clock);
    EXPECT_EQ(notifications[0].index, 0);
    EXPECT_EQ(notifications[0].count, 1);
}

// Paging stays within bounds; an append jumps to the new pair even while looking back; a clear
// empties it without a word.
TEST_F(AnswerHistoryTest, PagesWithinBoundsAppendsToTheEndAndClearsQuietly) {
    appendThree();
    EXPECT_FALSE(history.next());
    EXPECT_EQ(history.previous()->question, "q2");
    EXPECT_EQ(history.previous()->question, "q1");
    EXPECT_FALSE(history.previous());
    ASSERT_EQ(notifications.size(), 2u);
    EXPECT_EQ(notifications[0].index, 1);
    EXPECT_EQ(notifications[0].count, 3);
    EXPECT_EQ(notifications[1].index, 0);
    EXPECT_FALSE(history.isAtLatest());
    EXPECT_EQ(history.next()->question, "q2");
    EXPECT_EQ(history.latest()->question, "q3");
    EXPECT_TRUE(history.isAtLatest());

    history.previous();
    notifications.clear();
    history.append("q4", "a4");
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].pair->question, "q4");
    EXPECT_EQ(notifications[0].index, 3);
    EXPECT_EQ(notifications[0].count, 4);

    notifications.clear();
    history.clear();
    EXPECT_EQ(history.count(), 0);
    EXPECT_EQ(history.currentIndex(), -1);
    EXPECT_TRUE(notifications.empty());
}

}  // namespace
}  // namespace orvane
