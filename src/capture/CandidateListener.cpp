// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "capture/CandidateListener.h"

#include <utility>

#include "capture/MicCapture.h"
#include "platform/MainQueue.h"

namespace orvane {

std::shared_ptr<CandidateListener> CandidateListener::create(Microphone& microphone,
                                                             SpeechService& speech,
                                                             MainQueue& mainQueue,
                                                             EchoCanceller* echoCanceller,
                                                             double silenceSeconds) {
    std::shared_ptr<CandidateListener> listener(
        new CandidateListener(microphone, speech, mainQueue, echoCanceller, silenceSeconds));
    listener->m_mic->onTranscript = [weak = listener->weak_from_this()](const std::string& text) {
        if (auto self = weak.lock()) self->handleTranscript(text);
    };
    listener->m_mic->onFinished = [weak = listener->weak_from_this()](const std::string& text) {
        auto self = weak.lock();
        if (self && !text.empty() && self->onLine) self->onLine(text);
    };
    return listener;
}

CandidateListener::CandidateListener(Microphone& microphone, SpeechService& speech,
                                     MainQueue& mainQueue, EchoCanceller* echoCanceller,
                                     double silenceSeconds)
    : m_mainQueue(mainQueue),
      m_mic(MicCapture::create(microphone, speech, mainQueue, echoCanceller)),
      m_silenceSeconds(silenceSeconds) {}

CandidateListener::~CandidateListener() {
    m_mic->cancelRecording();
}

void CandidateListener::start() {
    if (m_listening) return;
    m_listening = true;
    m_mic->startRecording();
}

void CandidateListener::stop() {
    if (!m_listening) return;
    m_listening = false;
    m_silenceTimer.reset();
    m_mic->stopRecording();
    if (!std::exchange(m_heard, {}).empty() && onTranscript) onTranscript("");
}

void CandidateListener::handleTranscript(const std::string& text) {
    if (!m_listening || text.empty() || text == m_heard) return;
    m_heard = text;
    if (onTranscript) onTranscript(text);
    m_silenceTimer = m_mainQueue.scheduleTimer(m_silenceSeconds, false, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->endLine();
    });
}

// The recogniser hears out the line on its own; the microphone opens again for the next.
void CandidateListener::endLine() {
    m_silenceTimer.reset();
    m_heard.clear();
    m_mic->stopRecording();
    m_mic->startRecording();
    if (onTranscript) onTranscript("");
}

}  // namespace orvane
