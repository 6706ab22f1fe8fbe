// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "capture/MicCapture.h"

#include "platform/EchoCanceller.h"
#include "platform/MainQueue.h"

namespace orvane {

// What one capture has heard, touched on the main thread only: a report that arrives after the
// next capture began still finishes with its own text, and finishes once.
struct MicCapture::Heard {
    std::string text;
    bool finished = false;
};

std::shared_ptr<MicCapture> MicCapture::create(Microphone& microphone, SpeechService& speech,
                                               MainQueue& mainQueue, EchoCanceller* echoCanceller) {
    return std::shared_ptr<MicCapture>(
        new MicCapture(microphone, speech, mainQueue, echoCanceller));
}

MicCapture::MicCapture(Microphone& microphone, SpeechService& speech, MainQueue& mainQueue,
                       EchoCanceller* echoCanceller)
    : m_microphone(microphone),
      m_mainQueue(mainQueue),
      m_echoCanceller(echoCanceller),
      m_speechRecognizer(speech.recognizer(localeIdentifier)) {}

MicCapture::~MicCapture() {
    cancelRecording();
}

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

    auto request = m_speechRecognizer ? m_speechRecognizer->makeRequest({true, {}, {}}) : nullptr;
    // The audio thread holds the request itself, so it never reads this object's fields.
    auto engine = m_microphone.open([request, echo = m_echoCanceller](AudioBuffer buffer) {
        if (!request) return;
        request->append(echo ? echo->clean(buffer) : buffer);
    });
    m_recognitionTask.reset();
    if (m_speechRecognizer && request) {
        auto heard = std::make_shared<Heard>();
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

void MicCapture::handleResult(std::uint64_t capture, Heard& heard,
                              const std::optional<SpeechRecognitionResult>& result,
                              const std::optional<SpeechRecognitionError>& error) {
    if (heard.finished) return;
    const bool ends = error || (result && result->isFinal);
    // Speech timed with no words yet leaves the words heard so far on show.
    if (result && !result->isTimingOnly) {
        heard.text = result->formattedString;
        if (capture == m_captureNumber) m_currentTranscript = heard.text;
    }
    if (ends) {
        heard.finished = true;
        m_finishing.erase(capture);
    }
    const std::string text = heard.text;
    // A capture that began since shows its own words, not the end of this one's.
    if (result && onTranscript && capture == m_captureNumber) onTranscript(text);
    if (ends && onFinished) onFinished(text);
}

void MicCapture::stopRecording() {
    endCapture(true);
}

void MicCapture::cancelRecording() {
    endCapture(false);
    auto finishing = std::move(m_finishing);
    m_finishing.clear();
    for (auto& [capture, task] : finishing) task->cancel();
}

void MicCapture::endCapture(bool hearOut) {
    ++m_startGeneration;
    // Stopped first, so that every block the microphone captured is in the request.
    if (m_audioEngine) m_audioEngine->stop();
    if (m_recognitionRequest) m_recognitionRequest->endAudio();
    if (m_recognitionTask) {
        if (hearOut) {
            const auto capture = m_captureNumber;
            m_finishing[capture] = m_recognitionTask;
            // A recogniser that never reports the end is cancelled, which finishes the capture
            // with what it had heard.
            m_mainQueue.postAfter(finishingSeconds, [weak = weak_from_this(), capture] {
                auto self = weak.lock();
                if (!self) return;
                const auto it = self->m_finishing.find(capture);
                if (it == self->m_finishing.end()) return;
                auto task = it->second;
                self->m_finishing.erase(it);
                task->cancel();
            });
        } else {
            m_recognitionTask->cancel();
        }
    }
    m_audioEngine.reset();
    m_recognitionRequest.reset();
    m_recognitionTask.reset();
}

}  // namespace orvane
