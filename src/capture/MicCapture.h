// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/Microphone.h"
#include "platform/SpeechRecognizer.h"

namespace orvane {

class EchoCanceller;
class MainQueue;

// The user's microphone, recognised in English from a start to a stop: push-to-talk while the key
// is held, or what the candidate says between pauses.
// Main thread only; results are handed to the main thread before they touch any state.
class MicCapture : public std::enable_shared_from_this<MicCapture> {
public:
    static constexpr const char* localeIdentifier = "en-US";
    // How long the recogniser may take, once the key is released, to hear out the last words.
    static constexpr double finishingSeconds = 1.5;

    // With an echo canceller, what the computer plays is taken out of the microphone's sound
    // before it is recognised; it must outlive this capture.
    static std::shared_ptr<MicCapture> create(Microphone& microphone, SpeechService& speech,
                                              MainQueue& mainQueue,
                                              EchoCanceller* echoCanceller = nullptr);
    ~MicCapture();

    // The transcript after every recognition result.
    std::function<void(const std::string&)> onTranscript;
    // The transcript when recognition ends, once per capture: its final result, or on an error
    // (a cancellation included) the latest text, possibly empty.
    std::function<void(const std::string&)> onFinished;

    const std::string& currentTranscript() const { return m_currentTranscript; }
    bool isRecording() const { return m_audioEngine && m_audioEngine->isRunning(); }

    // Asks for the microphone and, once allowed, starts a capture that replaces any running one.
    void startRecording();
    // Ends the current capture, and cancels a start still waiting for permission. The recogniser
    // hears out the audio it has, for up to finishingSeconds, so the last words are not lost.
    void stopRecording();
    // Ends the current capture and drops what it has not reported yet.
    void cancelRecording();

private:
    MicCapture(Microphone& microphone, SpeechService& speech, MainQueue& mainQueue,
               EchoCanceller* echoCanceller);

    struct Heard;
    void beginCapture();
    void endCapture(bool hearOut);
    void handleResult(std::uint64_t capture, Heard& heard,
                      const std::optional<SpeechRecognitionResult>& result,
                      const std::optional<SpeechRecognitionError>& error);

    Microphone& m_microphone;
    MainQueue& m_mainQueue;
    EchoCanceller* m_echoCanceller;
    std::shared_ptr<SpeechRecognizer> m_speechRecognizer;
    std::unique_ptr<MicrophoneStream> m_audioEngine;
    std::shared_ptr<SpeechRecognitionRequest> m_recognitionRequest;
    std::shared_ptr<SpeechRecognitionTask> m_recognitionTask;
    // Recognitions whose audio has ended and whose final result is awaited, by capture.
    std::map<std::uint64_t, std::shared_ptr<SpeechRecognitionTask>> m_finishing;
    std::string m_currentTranscript;
    // Bumped by every stop, so that a permission answer arriving after the key was released
    // starts nothing.
    std::uint64_t m_startGeneration = 0;
    std::uint64_t m_captureNumber = 0;
};

}  // namespace orvane
