// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "capture/SystemAudioCapture.h"

#include <algorithm>

#include "platform/BackgroundQueue.h"
#include "platform/MainQueue.h"

namespace orvane {

std::shared_ptr<SystemAudioCapture> SystemAudioCapture::create(AudioSource& source,
                                                               BackgroundQueue& background,
                                                               MainQueue& mainQueue) {
    return std::shared_ptr<SystemAudioCapture>(
        new SystemAudioCapture(source, background, mainQueue));
}

SystemAudioCapture::SystemAudioCapture(AudioSource& source, BackgroundQueue& background,
                                       MainQueue& mainQueue)
    : m_source(source), m_background(background), m_mainQueue(mainQueue) {}

// Background tasks hold the object, so the last owner may be one of them; either way no task
// runs concurrently with destruction, and the stream's own destructor stops it.
SystemAudioCapture::~SystemAudioCapture() = default;

void SystemAudioCapture::start() {
    m_run = ++m_runCount;
    m_capturing.reset();
    m_reportedNoServer = false;
    m_retrySeconds = firstRetrySeconds;
    m_background.async([self = shared_from_this(), run = m_run, handler = onAudioBuffer]() mutable {
        self->m_bufferHandler = std::move(handler);
        self->openStream(run);
    });
}

void SystemAudioCapture::stop() {
    m_run = 0;
    m_capturing.reset();
    m_background.async([self = shared_from_this()] {
        if (self->m_stream) self->m_stream->stop();
        self->m_stream.reset();
    });
}

void SystemAudioCapture::openStream(std::uint64_t run) {
    // A stream that ended by itself is done; it goes before its replacement comes.
    if (m_stream) m_stream->stop();
    m_stream.reset();

    AudioStreamHandlers handlers;
    handlers.onBuffer = [handler = m_bufferHandler](AudioBuffer buffer) {
        if (buffer.frameCount() == 0 || !handler) return;
        handler(std::move(buffer));
    };
    // Runs on the capture thread, which must never hold the last reference: destroying the
    // capture there would join that very thread.
    handlers.onEnded = [weak = weak_from_this(), &mainQueue = m_mainQueue,
                        run](const std::string& reason) {
        mainQueue.post([weak, run, reason] {
            if (auto self = weak.lock()) self->handleEnded(run, reason);
        });
    };

    auto result = m_source.open(captureThreadLabel, std::move(handlers));
    if (result.status == AudioSource::OpenStatus::opened) m_stream = std::move(result.stream);
    m_mainQueue.post(
        [weak = weak_from_this(), run, status = result.status, text = std::move(result.errorText)] {
            if (auto self = weak.lock()) self->handleOpened(run, status, text);
        });
}

void SystemAudioCapture::handleOpened(std::uint64_t run, AudioSource::OpenStatus status,
                                      const std::string& text) {
    if (run != m_run) return;
    switch (status) {
        case AudioSource::OpenStatus::opened:
            m_retrySeconds = firstRetrySeconds;
            m_reportedNoServer = false;
            setCapturing(true);
            break;
        case AudioSource::OpenStatus::noDevice:
            // Said once; the capture keeps looking for the server quietly after that.
            if (!m_reportedNoServer && onError) {
                onError("Cannot hear the computer: " + text +
                        ". Orvane starts hearing as soon as it can.");
            }
            m_reportedNoServer = true;
            setCapturing(false);
            retryLater(run);
            break;
        case AudioSource::OpenStatus::permissionDenied:
            if (onError) {
                onError("The sound server does not let Orvane hear the computer (" + text +
                        "). Allow Orvane to record in your desktop's sound or privacy settings.");
            }
            setCapturing(false);
            break;
        case AudioSource::OpenStatus::failed:
            if (onError) onError("Audio capture error: " + text);
            setCapturing(false);
            break;
    }
}

void SystemAudioCapture::handleEnded(std::uint64_t run, const std::string& reason) {
    if (run != m_run) return;
    if (onError) onError("Audio capture stopped: " + reason + " -- reconnecting");
    // What the server says while it goes away is all the user needs to hear until it is back.
    m_reportedNoServer = true;
    setCapturing(false);
    retryLater(run);
}

void SystemAudioCapture::retryLater(std::uint64_t run) {
    const double wait = m_retrySeconds;
    m_retrySeconds = std::min(longestRetrySeconds, m_retrySeconds * 2);
    m_mainQueue.postAfter(wait, [weak = weak_from_this(), run] {
        auto self = weak.lock();
        if (!self || run != self->m_run) return;
        self->m_background.async([self, run] { self->openStream(run); });
    });
}

void SystemAudioCapture::setCapturing(bool capturing) {
    if (m_capturing == capturing) return;
    m_capturing = capturing;
    if (onCapturingChanged) onCapturingChanged(capturing);
}

}  // namespace orvane
