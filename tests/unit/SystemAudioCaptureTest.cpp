// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "capture/SystemAudioCapture.h"
#include "fakes/ManualBackgroundQueue.h"
#include "fakes/ManualMainQueue.h"
#include "fakes/ScriptedDevices.h"

namespace orvane::testing {
namespace {

using Status = AudioSource::OpenStatus;

class SystemAudio : public ::testing::Test {
protected:
    SystemAudio() : capture(SystemAudioCapture::create(source, background, mainQueue)) {
        capture->onError = [this](const std::string& e) { errors.push_back(e); };
        capture->onAudioBuffer = [this](AudioBuffer b) { frames.push_back(b.frameCount()); };
        capture->onCapturingChanged = [this](bool c) { capturing.push_back(c); };
    }
    void settle() {
        background.runAll();
        mainQueue.runUntilIdle();
    }
    bool holdsStream() {
        bool holds = false;
        background.async([&] { holds = capture->isCapturing(); });
        background.runAll();
        return holds;
    }
    // Lets the next retry fall due and run.
    void waitForRetry(double seconds) {
        mainQueue.advance(seconds);
        settle();
    }

    ManualMainQueue mainQueue;
    ManualBackgroundQueue background;
    ScriptedAudioSource source;
    std::shared_ptr<SystemAudioCapture> capture;
    std::vector<std::string> errors;
    std::vector<std::size_t> frames;
    std::vector<bool> capturing;
};

TEST_F(SystemAudio, StartReturnsAtOnceOpensInTheBackgroundAndHandsOnTheBlocks) {
    capture->start();
    EXPECT_EQ(source.opens, 0);
    settle();
    EXPECT_EQ(source.opens, 1);
    EXPECT_EQ(source.lastThreadLabel, "com.orvane.audio-capture");
    EXPECT_TRUE(holdsStream());
    EXPECT_TRUE(errors.empty()) << "success is not reported as an error";
    EXPECT_EQ(capturing, (std::vector<bool>{true}));
    // Blocks go to the handler set before the start; empty ones are dropped.
    source.handlers.onBuffer(AudioBuffer{48000, 1, std::vector<float>(960)});
    source.handlers.onBuffer(AudioBuffer{48000, 1, {}});
    capture->onAudioBuffer = nullptr;  // applies to the next start only
    source.handlers.onBuffer(AudioBuffer{48000, 1, std::vector<float>(480)});
    EXPECT_EQ(frames, (std::vector<std::size_t>{960, 480}));
}

TEST_F(SystemAudio, WithoutASoundServerItSaysSoOnceAndConnectsWhenOneStarts) {
    source.nextStatus = Status::noDevice;
    source.nextErrorText = "no sound server is running";
    capture->start();
    settle();
    EXPECT_EQ(errors, (std::vector<std::string>{"Cannot hear the computer: no sound server is "
                                                "running. Orvane starts hearing as soon as it "
                                                "can."}));
    EXPECT_EQ(capturing, (std::vector<bool>{false}));
    waitForRetry(SystemAudioCapture::firstRetrySeconds);
    waitForRetry(2 * SystemAudioCapture::firstRetrySeconds);
    EXPECT_EQ(source.opens, 3);
    EXPECT_EQ(errors.size(), 1u) << "looking again is quiet";

    source.nextStatus = Status::opened;
    waitForRetry(SystemAudioCapture::longestRetrySeconds);
    EXPECT_TRUE(holdsStream());
    EXPECT_EQ(capturing, (std::vector<bool>{false, true}));
}

TEST_F(SystemAudio, RetriesBackOffToTheLongestWaitAndAStopEndsThem) {
    source.nextStatus = Status::noDevice;
    capture->start();
    settle();
    for (int i = 0; i < 10; ++i) waitForRetry(SystemAudioCapture::longestRetrySeconds);
    const int opens = source.opens;
    waitForRetry(SystemAudioCapture::longestRetrySeconds - 0.5);
    EXPECT_EQ(source.opens, opens);
    waitForRetry(0.5);
    EXPECT_EQ(source.opens, opens + 1);
    capture->stop();
    settle();
    waitForRetry(SystemAudioCapture::longestRetrySeconds);
    EXPECT_EQ(source.opens, opens + 1);
    EXPECT_FALSE(holdsStream());
}

TEST_F(SystemAudio, ARefusalAndOtherFailuresAreReportedAndNotRetried) {
    source.nextStatus = Status::permissionDenied;
    source.nextErrorText = "Access denied";
    capture->start();
    settle();
    source.nextStatus = Status::failed;
    source.nextErrorText = "Invalid argument";
    capture->start();
    settle();
    waitForRetry(SystemAudioCapture::longestRetrySeconds);
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "The sound server does not let Orvane hear the computer (Access "
                          "denied). Allow Orvane to record in your desktop's sound or privacy "
                          "settings.",
                          "Audio capture error: Invalid argument"}));
    EXPECT_EQ(source.opens, 2);
}

TEST_F(SystemAudio, AStopAskedForDuringAPendingStartStopsWhatItCreates) {
    capture->start();
    capture->stop();
    settle();
    ASSERT_EQ(source.streamStops.size(), 1u);
    EXPECT_GE(*source.streamStops[0], 1);
    EXPECT_FALSE(holdsStream());
    EXPECT_TRUE(capturing.empty()) << "nothing is reported of a start already stopped";
    capture->stop();
    settle();
    EXPECT_TRUE(errors.empty()) << "a stop of nothing is silent";
}

TEST_F(SystemAudio, AServerThatGoesAwayIsReportedAndRejoinedWhenItReturns) {
    capture->start();
    settle();
    source.nextStatus = Status::noDevice;
    source.handlers.onEnded("Connection terminated");
    EXPECT_TRUE(errors.empty()) << "reported on the main queue";
    mainQueue.runUntilIdle();
    EXPECT_EQ(
        errors,
        (std::vector<std::string>{"Audio capture stopped: Connection terminated -- reconnecting"}));
    EXPECT_EQ(capturing, (std::vector<bool>{true, false}));
    waitForRetry(SystemAudioCapture::firstRetrySeconds);
    EXPECT_EQ(source.opens, 2);
    EXPECT_EQ(*source.streamStops[0], 2) << "the dead stream was stopped and released";
    EXPECT_EQ(errors.size(), 1u);

    source.nextStatus = Status::opened;
    waitForRetry(SystemAudioCapture::longestRetrySeconds);
    EXPECT_EQ(capturing, (std::vector<bool>{true, false, true}));
    source.handlers.onBuffer(AudioBuffer{48000, 1, std::vector<float>(960)});
    EXPECT_EQ(frames, (std::vector<std::size_t>{960})) << "the new stream feeds the same handler";
}

TEST_F(SystemAudio, ReportsAfterTheCaptureIsGoneAreDropped) {
    capture->start();
    settle();
    auto ended = source.handlers.onEnded;
    capture.reset();
    ended("gone");
    mainQueue.runUntilIdle();
    EXPECT_TRUE(errors.empty());
    EXPECT_GE(*source.streamStops[0], 1) << "the stream dies with its capture";
}

}  // namespace
}  // namespace orvane::testing
