// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <algorithm>

#include "capture/ScreenshotCapture.h"
#include "fakes/ManualBackgroundQueue.h"
#include "fakes/ManualMainQueue.h"
#include "fakes/ScriptedDevices.h"

namespace orvane::testing {
namespace {

class Screenshots : public ::testing::Test {
protected:
    Screenshots() : shots(ScreenshotCapture::create(source, background, mainQueue)) {
        shots->onQueueChanged = [this](int n) { counts.push_back(n); };
    }
    void take(std::optional<std::uint32_t> window = std::nullopt) {
        shots->capture(window);
        background.runAll();
        mainQueue.runUntilIdle();
    }

    ManualMainQueue mainQueue;
    ManualBackgroundQueue background;
    ScriptedScreenSource source;
    std::shared_ptr<ScreenshotCapture> shots;
    std::vector<int> counts;
};

TEST_F(Screenshots, APictureIsTheFirstDisplayAtItsPixelSizeWithoutPointerAsBase64Png) {
    source.content->displays.front().pixelsPerPoint = 2;
    source.content->displays.push_back(DisplayInfo{2, 3840, 2160, 1});
    shots->capture(std::nullopt);
    EXPECT_TRUE(shots->queue().empty()) << "taken in the background";
    background.runAll();
    EXPECT_TRUE(shots->queue().empty()) << "appended on the main queue";
    mainQueue.runUntilIdle();
    ASSERT_EQ(source.captures.size(), 1u);
    EXPECT_EQ(source.captures[0].display.displayID, 1u);
    EXPECT_EQ(source.captures[0].settings.width, 2880);
    EXPECT_EQ(source.captures[0].settings.height, 1800);
    EXPECT_FALSE(source.captures[0].settings.showsCursor);
    EXPECT_EQ(shots->queue(), (std::vector<std::string>{"iVBORw=="}));
    EXPECT_EQ(counts, (std::vector<int>{1}));
}

TEST_F(Screenshots, LeavesOutTheGivenWindowOnlyWhenItIsOnScreen) {
    take(42);
    take(7);
    take();
    ASSERT_EQ(source.captures.size(), 3u);
    ASSERT_EQ(source.captures[0].excluded.size(), 1u);
    EXPECT_EQ(source.captures[0].excluded[0].windowID, 42u);
    EXPECT_TRUE(source.captures[1].excluded.empty());
    EXPECT_TRUE(source.captures[2].excluded.empty());
}

TEST_F(Screenshots, APictureThatCannotBeTakenSaysWhyAndQueuesNothing) {
    std::vector<std::string> errors;
    shots->onError = [&](const std::string& message) { errors.push_back(message); };
    source.png.reset();
    take();
    source.content->displays.clear();
    take();
    source.content.reset();
    take();
    EXPECT_TRUE(shots->queue().empty());
    EXPECT_TRUE(counts.empty());
    EXPECT_EQ(errors, (std::vector<std::string>{"The desktop refused to take a screenshot.",
                                                "No screen to take a picture of was found.",
                                                "No screen to take a picture of was found."}));
    source.png = std::vector<std::uint8_t>{1, 2, 3};
    source.content = ShareableContent{{DisplayInfo{1, 1440, 900}}, {}};
    take();
    EXPECT_EQ(shots->queue().size(), 1u) << "a failure does not hold a place in the queue";
}

// The queue is flushed oldest first; each change is said (a flush even when empty), but not a
// queue set directly; a picture finishing after a clear still joins it.
TEST_F(Screenshots, TheQueueIsFlushedOldestFirstAndItsChangesAreSaid) {
    EXPECT_TRUE(shots->flush().empty());
    shots->removeLast();
    for (std::uint8_t i = 0; i < 3; ++i) {
        source.png = std::vector<std::uint8_t>{i};
        take();
    }
    shots->removeLast();
    EXPECT_EQ(shots->flush(), (std::vector<std::string>{"AA==", "AQ=="}));
    take();
    shots->clear();
    shots->clear();
    EXPECT_EQ(counts, (std::vector<int>{0, 1, 2, 3, 2, 0, 1, 0, 0}));
    shots->capture(std::nullopt);
    background.runAll();
    shots->clear();
    mainQueue.runUntilIdle();
    EXPECT_EQ(shots->queue().size(), 1u);
    counts.clear();
    shots->setQueue({"a", "b"});
    EXPECT_TRUE(counts.empty());
    EXPECT_EQ(shots->flush().size(), 2u);
}

TEST_F(Screenshots, AtMostFiveWaitCountingThoseStillBeingTaken) {
    std::vector<std::string> errors;
    shots->onError = [&](const std::string& message) { errors.push_back(message); };
    for (int i = 0; i < 3; ++i) take();
    shots->capture(std::nullopt);
    shots->capture(std::nullopt);
    shots->capture(std::nullopt);  // the sixth, while two are still in the background
    EXPECT_EQ(background.runAll(), 2u);
    mainQueue.runUntilIdle();
    EXPECT_EQ(shots->queue().size(), 5u);
    EXPECT_EQ(errors, (std::vector<std::string>{ScreenshotCapture::queueFullMessage}));

    shots->flush();
    take();
    EXPECT_EQ(shots->queue().size(), 1u) << "sending them makes room";
    source.png.reset();
    for (int i = 0; i < 6; ++i) take();
    EXPECT_EQ(std::count(errors.begin(), errors.end(), ScreenshotCapture::queueFullMessage), 1)
        << "failed pictures take no place in the queue";
}

}  // namespace
}  // namespace orvane::testing
