// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "capture/MicCapture.h"

#include "platform/MainQueue.h"

namespace orvane {

std::shared_ptr<MicCapture> MicCapture::create(Microphone& microphone, SpeechService& speech,
                                               MainQueue& mainQueue) {
    return std::shared_ptr<MicCapture>(new MicCapture(microphone, speech, mainQueue));
}

MicCapture::MicCapture(Microphone& microphone, SpeechService& speech, MainQueue& mainQueue)
    : m_microphone(microphone),
      m_mainQueue(mainQueue),
      m_speechRecognizer(speech.recognizer(localeIdentifier)) {}

void MicCapture::startRecording() {
    const auto generation = m_startGeneration;
    m_microphone.requestPermission(
        [weak = weak_from_this(), &mainQueue = m_mainQueue, generation](bool granted) {
            if (!granted) return;
            mainQueue.post([weak, generation] {
                auto self = weak.lock();
                if (self && self->m_startGeneration == generation) self->beginCapture();
            });
        });
}

void MicCapture::beginCapture() {
    stopRecording();
    const auto capture = ++m_captureNumber;

    auto request = m_speechRecognizer ? m_speechRecognizer->makeRequest({true, {}}) : nullptr;
    // The audio thread holds the request itself, so it never reads this object's fields.
    auto engine = m_microphone.open([request](AudioBuffer buffer) {
        if (request) request->append(buffer);
    });
    m_recognitionTask.reset();
    if (m_speechRecognizer && request) {
        // What this capture has heard, touched on the main thread only: a report that arrives
        // after the next capture began still finishes with its own text.
        auto heard = std::make_shared<std::string>();
        m_recognitionTask = m_speechRecognizer->recognitionTask(
            request, [weak = weak_from_this(), &mainQueue = m_mainQueue, capture, heard](
                         std::optional<SpeechRecognitionResult> result,
                         std::optional<SpeechRecognitionError> error) {
                mainQueue.post(
                    [weak, capture, heard, result = std::move(result), error = std::move(error)] {
                        if (auto self = weak.lock())
                            self->handleResult(capture, *heard, result, error);
                    });
            });
    }
    m_audioEngine = std::move(engine);
    m_recognitionRequest = std::move(request);
    m_currentTranscript.clear();
}

void MicCapture::handleResult(std::uint64_t capture, std::string& heard,
                              const std::optional<SpeechRecognitionResult>& result,
                              const std::optional<SpeechRecognitionError>& error) {
    if (result) {
        heard = result->formattedString;
        if (capture == m_captureNumber) m_currentTranscript = heard;
        const std::string text = heard;
        if (onTranscript) onTranscript(text);
        if ((error || result->isFinal) && onFinished) onFinished(text);
    } else if (error && onFinished) {
        onFinished(std::string(heard));
    }
}

void MicCapture::stopRecording() {
    ++m_startGeneration;
    if (m_audioEngine) m_audioEngine->stop();
    if (m_recognitionRequest) m_recognitionRequest->endAudio();
    if (m_recognitionTask) m_recognitionTask->cancel();
    m_audioEngine.reset();
    m_recognitionRequest.reset();
    m_recognitionTask.reset();
}

}  // namespace orvane
