// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Microphone.h"
#include "platform/SpeechRecognizer.h"

namespace orvane {

class MainQueue;

// Push-to-talk: the user's microphone, recognised in English while the key is held.
// Main thread only; results are handed to the main thread before they touch any state.
class MicCapture : public std::enable_shared_from_this<MicCapture> {
public:
    static constexpr const char* localeIdentifier = "en-US";

    static std::shared_ptr<MicCapture> create(Microphone& microphone, SpeechService& speech,
                                              MainQueue& mainQueue);

    // The transcript after every recognition result.
    std::function<void(const std::string&)> onTranscript;
    // The transcript when recognition ends: a final result, or an error (a stop's cancellation
    // included) with the latest text, possibly empty.
    std::function<void(const std::string&)> onFinished;

    const std::string& currentTranscript() const { return m_currentTranscript; }
    bool isRecording() const { return m_audioEngine && m_audioEngine->isRunning(); }

    // Asks for the microphone and, once allowed, starts a capture that replaces any running one.
    void startRecording();
    // Ends the current capture, and cancels a start still waiting for permission.
    void stopRecording();

private:
    MicCapture(Microphone& microphone, SpeechService& speech, MainQueue& mainQueue);

    void beginCapture();
    void handleResult(std::uint64_t capture, std::string& heard,
                      const std::optional<SpeechRecognitionResult>& result,
                      const std::optional<SpeechRecognitionError>& error);

    Microphone& m_microphone;
    MainQueue& m_mainQueue;
    std::shared_ptr<SpeechRecognizer> m_speechRecognizer;
    std::unique_ptr<MicrophoneStream> m_audioEngine;
    std::shared_ptr<SpeechRecognitionRequest> m_recognitionRequest;
    std::shared_ptr<SpeechRecognitionTask> m_recognitionTask;
    std::string m_currentTranscript;
    // Bumped by every stop, so that a permission answer arriving after the key was released
    // starts nothing.
    std::uint64_t m_startGeneration = 0;
    std::uint64_t m_captureNumber = 0;
};

}  // namespace orvane
