// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/AudioSource.h"

namespace orvane {

class BackgroundQueue;
class MainQueue;
class Workspace;

// The computer's own sound, delivered as PCM blocks for the speech recogniser.
//
// start() and stop() return at once; the work runs on a serial background queue, so a stop asked
// for while a start is still opening the stream ends the stream that start creates.
class SystemAudioCapture : public std::enable_shared_from_this<SystemAudioCapture> {
public:
    static constexpr const char* captureThreadLabel = "com.orvane.audio-capture";

    static std::shared_ptr<SystemAudioCapture> create(AudioSource& source,
                                                      BackgroundQueue& background,
                                                      MainQueue& mainQueue, Workspace& workspace);
    ~SystemAudioCapture();

    // Every captured block, on the capture thread. Read when start() is called: a handler set
    // later applies to the next start.
    std::function<void(AudioBuffer)> onAudioBuffer;
    // User-facing failure texts, on the main thread.
    std::function<void(const std::string&)> onError;

    void start();
    void stop();

    // Whether a stream is held. Background queue only; tests read it there.
    bool isCapturing() const { return m_stream != nullptr; }

private:
    SystemAudioCapture(AudioSource& source, BackgroundQueue& background, MainQueue& mainQueue,
                       Workspace& workspace);

    void openStream(std::function<void(AudioBuffer)> bufferHandler);
    static void postError(MainQueue& mainQueue, std::weak_ptr<SystemAudioCapture> weak,
                          std::string message);
    void handleStartFailure(const std::string& failureText);

    AudioSource& m_source;
    BackgroundQueue& m_background;
    MainQueue& m_mainQueue;
    Workspace& m_workspace;
    // Touched only on the background queue.
    std::unique_ptr<AudioStream> m_stream;
};

}  // namespace orvane
