// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "capture/SystemAudioCapture.h"

#include <array>
#include <string_view>

#include "platform/BackgroundQueue.h"
#include "platform/MainQueue.h"
#include "platform/Workspace.h"
#include "text/Text.h"

namespace orvane {

namespace {

// Platform error texts that mean the user has not let Orvane capture the screen's sound.
constexpr std::array<std::string_view, 4> kPermissionMarkers = {"TCC", "permission", "denied",
                                                                "not authorized"};

bool isPermissionFailure(std::string_view text) {
    for (auto marker : kPermissionMarkers) {
        if (text::contains(text, marker)) return true;
    }
    return false;
}

}  // namespace

std::shared_ptr<SystemAudioCapture> SystemAudioCapture::create(AudioSource& source,
                                                               BackgroundQueue& background,
                                                               MainQueue& mainQueue,
                                                               Workspace& workspace) {
    return std::shared_ptr<SystemAudioCapture>(
        new SystemAudioCapture(source, background, mainQueue, workspace));
}

SystemAudioCapture::SystemAudioCapture(AudioSource& source, BackgroundQueue& background,
                                       MainQueue& mainQueue, Workspace& workspace)
    : m_source(source), m_background(background), m_mainQueue(mainQueue), m_workspace(workspace) {}

// Background tasks hold the object, so the last owner may be one of them; either way no task
// runs concurrently with destruction, and the stream's own destructor stops it.
SystemAudioCapture::~SystemAudioCapture() = default;

void SystemAudioCapture::start() {
    m_background.async([self = shared_from_this(), handler = onAudioBuffer]() mutable {
        self->openStream(std::move(handler));
    });
}

void SystemAudioCapture::stop() {
    m_background.async([self = shared_from_this()] {
        if (self->m_stream) self->m_stream->stop();
        self->m_stream.reset();
    });
}

void SystemAudioCapture::openStream(std::function<void(AudioBuffer)> bufferHandler) {
    AudioStreamHandlers handlers;
    handlers.onBuffer = [handler = std::move(bufferHandler)](AudioBuffer buffer) {
        if (buffer.frameCount() == 0 || !handler) return;
        handler(std::move(buffer));
    };
    // Runs on the capture thread, which must never hold the last reference: destroying the
    // capture there would join that very thread.
    handlers.onEnded = [weak = weak_from_this(),
                        &mainQueue = m_mainQueue](const std::string& reason) {
        postError(mainQueue, weak, "Audio capture stopped: " + reason);
    };

    auto result = m_source.open(captureThreadLabel, std::move(handlers));
    switch (result.status) {
        case AudioSource::OpenStatus::opened:
            m_stream = std::move(result.stream);
            break;
        case AudioSource::OpenStatus::noDevice:
            postError(m_mainQueue, weak_from_this(), "No display found for audio capture");
            break;
        case AudioSource::OpenStatus::failed:
            m_mainQueue.post([weak = weak_from_this(), text = std::move(result.errorText)] {
                if (auto self = weak.lock()) self->handleStartFailure(text);
            });
            break;
    }
}

void SystemAudioCapture::postError(MainQueue& mainQueue, std::weak_ptr<SystemAudioCapture> weak,
                                   std::string message) {
    mainQueue.post([weak = std::move(weak), message = std::move(message)] {
        auto self = weak.lock();
        if (self && self->onError) self->onError(message);
    });
}

void SystemAudioCapture::handleStartFailure(const std::string& failureText) {
    if (isPermissionFailure(failureText)) {
        m_workspace.openPrivacySettings("Privacy_ScreenCapture");
        if (onError) onError("Enable Orvane in Screen Recording settings, then restart the app.");
    } else if (onError) {
        onError("Audio capture error: " + failureText);
    }
}

}  // namespace orvane
