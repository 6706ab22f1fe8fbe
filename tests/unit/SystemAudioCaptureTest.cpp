// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "capture/SystemAudioCapture.h"
#include "fakes/ManualBackgroundQueue.h"
#include "fakes/ManualMainQueue.h"
#include "fakes/ScriptedDevices.h"

namespace orvane::testing {
namespace {

class SystemAudio : public ::testing::Test {
protected:
    SystemAudio() : capture(SystemAudioCapture::create(source, background, mainQueue, workspace)) {
        capture->onError = [this](const std::string& e) { errors.push_back(e); };
        capture->onAudioBuffer = [this](AudioBuffer b) { frames.push_back(b.frameCount()); };
    }
    void settle() {
        background.runAll();
        mainQueue.runUntilIdle();
    }

    ManualMainQueue mainQueue;
    ManualBackgroundQueue background;
    ScriptedAudioSource source;
    RecordingWorkspace workspace;
    std::shared_ptr<SystemAudioCapture> capture;
    std::vector<std::string> errors;
    std::vector<std::size_t> frames;
};

TEST_F(SystemAudio, StartReturnsAtOnceAndOpensInTheBackground) {
    capture->start();
    EXPECT_EQ(source.opens, 0);
    settle();
    EXPECT_EQ(source.opens, 1);
    EXPECT_EQ(source.lastThreadLabel, "com.orvane.audio-capture");
    bool capturing = false;
    background.async([&] { capturing = capture->isCapturing(); });
    background.runAll();
    EXPECT_TRUE(capturing);
    EXPECT_TRUE(errors.empty()) << "success is not reported";
}

TEST_F(SystemAudio, BlocksGoToTheHandlerSetBeforeStartAndEmptyOnesAreDropped) {
    capture->start();
    settle();
    source.handlers.onBuffer(AudioBuffer{48000, 1, std::vector<float>(960)});
    source.handlers.onBuffer(AudioBuffer{48000, 1, {}});
    capture->onAudioBuffer = nullptr;  // applies to the next start only
    source.handlers.onBuffer(AudioBuffer{48000, 1, std::vector<float>(480)});
    EXPECT_EQ(frames, (std::vector<std::size_t>{960, 480}));
}

TEST_F(SystemAudio, NothingToCaptureIsReportedOnce) {
    source.nextStatus = AudioSource::OpenStatus::noDevice;
    capture->start();
    settle();
    EXPECT_EQ(errors, (std::vector<std::string>{"No display found for audio capture"}));
    capture->stop();
    settle();
    EXPECT_EQ(errors.size(), 1u) << "a stop after a failed start finds nothing";
}

struct FailureCase {
    const char* platformText;
    const char* reported;
    bool opensSettings;
};

class SystemAudioFailures : public SystemAudio,
                            public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SystemAudioFailures, PermissionLikeTextsOpenTheSettings) {
    source.nextStatus = AudioSource::OpenStatus::failed;
    source.nextErrorText = GetParam().platformText;
    capture->start();
    settle();
    EXPECT_EQ(errors, (std::vector<std::string>{GetParam().reported}));
    EXPECT_EQ(workspace.openedPrivacyAnchors.size(), GetParam().opensSettings ? 1u : 0u);
    if (GetParam().opensSettings) {
        EXPECT_EQ(workspace.openedPrivacyAnchors[0], "Privacy_ScreenCapture");
    }
}

constexpr const char* kEnable = "Enable Orvane in Screen Recording settings, then restart the app.";

INSTANTIATE_TEST_SUITE_P(
    Texts, SystemAudioFailures,
    ::testing::Values(
        FailureCase{"The user declined TCCs for application", kEnable, true},
        FailureCase{"Access denied", kEnable, true},
        FailureCase{"no permission to record", kEnable, true},
        FailureCase{"client not authorized", kEnable, true},
        FailureCase{"Permission needed", "Audio capture error: Permission needed", false},
        FailureCase{"Connection refused", "Audio capture error: Connection refused", false}));

TEST_F(SystemAudio, AStopAskedForDuringAPendingStartStopsWhatItCreates) {
    capture->start();
    capture->stop();
    settle();
    ASSERT_EQ(source.streamStops.size(), 1u);
    EXPECT_GE(*source.streamStops[0], 1);
    bool capturing = true;
    background.async([&] { capturing = capture->isCapturing(); });
    background.runAll();
    EXPECT_FALSE(capturing);
}

TEST_F(SystemAudio, StopWithoutStartIsSilent) {
    capture->stop();
    settle();
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(source.opens, 0);
}

TEST_F(SystemAudio, SpontaneousEndIsReportedOnTheMainQueue) {
    capture->start();
    settle();
    source.handlers.onEnded("Connection terminated");
    EXPECT_TRUE(errors.empty());
    mainQueue.runUntilIdle();
    EXPECT_EQ(errors, (std::vector<std::string>{"Audio capture stopped: Connection terminated"}));
    EXPECT_EQ(source.opens, 1) << "capture does not restart by itself";
}

TEST_F(SystemAudio, ReportsAfterTheCaptureIsGoneAreDropped) {
    capture->start();
    settle();
    auto ended = source.handlers.onEnded;
    capture.reset();
    ended("gone");
    EXPECT_NO_FATAL_FAILURE(mainQueue.runUntilIdle());
    EXPECT_TRUE(errors.empty());
    EXPECT_GE(*source.streamStops[0], 1) << "the stream dies with its capture";
}

}  // namespace
}  // namespace orvane::testing
