// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "capture/MicCapture.h"
#include "fakes/ManualMainQueue.h"
#include "fakes/ScriptedDevices.h"
#include "fakes/ScriptedSpeech.h"

namespace orvane::testing {
namespace {

class Mic : public ::testing::Test {
protected:
    Mic() : mic(MicCapture::create(microphone, speech, mainQueue)) {
        mic->onTranscript = [this](const std::string& t) { events.push_back("transcript:" + t); };
        mic->onFinished = [this](const std::string& t) { events.push_back("finished:" + t); };
    }
    ScriptedRecognizer& recognizer() { return *speech.recognizers.at("en-US"); }
    void record() {
        mic->startRecording();
        mainQueue.runUntilIdle();
    }

    ManualMainQueue mainQueue;
    ScriptedMicrophone microphone;
    ScriptedSpeechService speech;
    std::shared_ptr<MicCapture> mic;
    std::vector<std::string> events;
};

// A recording starts from the main queue, hears English only, and feeds the microphone's blocks
// to its request; each one finishes once, with the last words heard, an error included.
TEST_F(Mic, RecordsEnglishFromTheMainQueueAndFinishesWithTheLastWordsHeard) {
    EXPECT_EQ(speech.requestedLocales, (std::vector<std::string>{"en-US"}));
    EXPECT_FALSE(mic->isRecording());
    mic->startRecording();
    EXPECT_TRUE(microphone.openedWith.empty());
    mainQueue.runUntilIdle();
    ASSERT_EQ(microphone.openedWith.size(), 1u);
    EXPECT_TRUE(mic->isRecording());
    ASSERT_EQ(recognizer().requests.size(), 1u);
    EXPECT_TRUE(recognizer().requests[0]->options.shouldReportPartialResults);
    EXPECT_TRUE(recognizer().requests[0]->options.contextualStrings.empty());
    microphone.openedWith[0](AudioBuffer{44100, 2, std::vector<float>(2048)});
    ASSERT_EQ(recognizer().requests[0]->appended.size(), 1u);
    EXPECT_EQ(recognizer().requests[0]->appended[0].frameCount(), 1024u);
    recognizer().lastTask()->deliver("What is Rust", true);
    mainQueue.runUntilIdle();

    record();
    recognizer().lastTask()->deliver("How");
    recognizer().lastTask()->deliver("How are");
    recognizer().lastTask()->fail(SpeechRecognitionError::Kind::other, "No speech detected");
    mainQueue.runUntilIdle();
    record();
    recognizer().lastTask()->fail(SpeechRecognitionError::Kind::other, "No speech detected");
    mainQueue.runUntilIdle();
    EXPECT_EQ(events, (std::vector<std::string>{"transcript:What is Rust", "finished:What is Rust",
                                                "transcript:How", "transcript:How are",
                                                "finished:How are", "finished:"}));
    mic->stopRecording();
    EXPECT_FALSE(mic->isRecording());
}

TEST_F(Mic, StoppingLetsTheRecogniserHearOutTheLastWordsButNotForEver) {
    record();
    recognizer().lastTask()->deliver("Explain");
    mic->stopRecording();
    mainQueue.runUntilIdle();
    EXPECT_TRUE(*microphone.streamsStopped[0]);
    EXPECT_TRUE(recognizer().requests[0]->ended);
    EXPECT_FALSE(recognizer().lastTask()->cancelled);
    EXPECT_EQ(events.back(), "transcript:Explain") << "not finished before the final result";
    recognizer().lastTask()->deliver("Explain the event loop", true);
    mainQueue.runUntilIdle();
    EXPECT_EQ(events.back(), "finished:Explain the event loop");
    mainQueue.advance(MicCapture::finishingSeconds);
    EXPECT_FALSE(recognizer().lastTask()->cancelled);
    EXPECT_EQ(std::count(events.begin(), events.end(), "finished:Explain the event loop"), 1);
    EXPECT_EQ(mic->currentTranscript(), "Explain the event loop")
        << "a stop does not clear the transcript";

    // ...but not for ever: one that never ends is cancelled and finishes with what was heard.
    record();
    recognizer().lastTask()->deliver("Explain");
    mic->stopRecording();
    mainQueue.advance(MicCapture::finishingSeconds - 0.1);
    EXPECT_FALSE(recognizer().lastTask()->cancelled);
    mainQueue.advance(0.1);
    EXPECT_TRUE(recognizer().lastTask()->cancelled);
    EXPECT_EQ(std::count(events.begin(), events.end(), "finished:Explain"), 1);
    // A cancel does not wait at all.
    record();
    recognizer().lastTask()->deliver("Describe");
    mic->cancelRecording();
    mainQueue.runUntilIdle();
    EXPECT_TRUE(recognizer().lastTask()->cancelled);
    EXPECT_EQ(events.back(), "finished:Describe");
}

TEST_F(Mic, ASecondStartReplacesTheRunningCapture) {
    record();
    auto first = recognizer().lastTask();
    first->deliver("first words");
    mainQueue.runUntilIdle();
    record();
    EXPECT_TRUE(*microphone.streamsStopped[0]);
    EXPECT_EQ(microphone.openedWith.size(), 2u);
    EXPECT_EQ(mic->currentTranscript(), "");
    first->deliver("first words here", true);
    mainQueue.runUntilIdle();
    EXPECT_EQ(events.back(), "finished:first words here")
        << "the replaced capture still finishes with its own words";
    EXPECT_EQ(mic->currentTranscript(), "") << "and leaves the new capture's transcript alone";
}

// A refused microphone, a key let go before permission came, or a microphone that fails records
// nothing; without a recogniser the microphone runs and nothing is reported.
TEST_F(Mic, WhatCannotBeHeardReportsNothing) {
    microphone.granted = false;
    record();
    EXPECT_TRUE(microphone.openedWith.empty());
    microphone.granted = true;
    microphone.deferPermission = true;
    mic->startRecording();
    mic->stopRecording();
    microphone.answerPermission(true);
    mainQueue.runUntilIdle();
    EXPECT_TRUE(microphone.openedWith.empty());
    EXPECT_FALSE(mic->isRecording());
    microphone.deferPermission = false;
    microphone.startFails = true;
    record();
    EXPECT_EQ(microphone.openedWith.size(), 1u);
    EXPECT_FALSE(mic->isRecording());
    EXPECT_TRUE(events.empty());

    microphone.startFails = false;
    speech.recognizers.clear();
    auto deaf = MicCapture::create(microphone, speech, mainQueue);
    deaf->startRecording();
    mainQueue.runUntilIdle();
    EXPECT_TRUE(deaf->isRecording());
    microphone.openedWith.back()(AudioBuffer{48000, 1, std::vector<float>(1024)});
    deaf->stopRecording();
    mainQueue.runUntilIdle();
    EXPECT_TRUE(events.empty());
}

}  // namespace
}  // namespace orvane::testing
