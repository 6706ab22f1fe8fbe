// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/AudioSource.h"

namespace orvane {

class BackgroundQueue;
class MainQueue;

// The computer's own sound, delivered as PCM blocks for the speech recogniser.
//
// start() and stop() return at once; the work runs on a serial background queue, so a stop asked
// for while a start is still opening the stream ends the stream that start creates. Between the
// two the capture keeps itself going: when the sound server goes away, or is not there yet, it
// tries again until the server is back (PipeWire and PulseAudio restart often).
class SystemAudioCapture : public std::enable_shared_from_this<SystemAudioCapture> {
public:
    static constexpr const char* captureThreadLabel = "com.orvane.audio-capture";
    // Waits between attempts to reach the sound server: the first, then each doubled up to the
    // last.
    static constexpr double firstRetrySeconds = 1;
    static constexpr double longestRetrySeconds = 8;

    static std::shared_ptr<SystemAudioCapture> create(AudioSource& source,
                                                      BackgroundQueue& background,
                                                      MainQueue& mainQueue);
    ~SystemAudioCapture();

    // Every captured block, on the capture thread. Read when start() is called: a handler set
    // later applies to the next start.
    std::function<void(AudioBuffer)> onAudioBuffer;
    // User-facing failure texts, on the main thread.
    std::function<void(const std::string&)> onError;
    // Whether sound is being captured, on the main thread: once a start's first attempt is
    // decided, then each time that changes until the stop.
    std::function<void(bool capturing)> onCapturingChanged;

    void start();
    void stop();

    // Whether a stream is held. Background queue only; tests read it there.
    bool isCapturing() const { return m_stream != nullptr; }

private:
    SystemAudioCapture(AudioSource& source, BackgroundQueue& background, MainQueue& mainQueue);

    // Opens a stream on the background queue for the start numbered run.
    void openStream(std::uint64_t run);
    // On the main thread, with the outcome of an attempt.
    void handleOpened(std::uint64_t run, AudioSource::OpenStatus status, const std::string& text);
    void handleEnded(std::uint64_t run, const std::string& reason);
    void retryLater(std::uint64_t run);
    void setCapturing(bool capturing);

    AudioSource& m_source;
    BackgroundQueue& m_background;
    MainQueue& m_mainQueue;

    // Main thread: which start is wanted (0 for none), and what was last reported of it.
    std::uint64_t m_run = 0;
    std::uint64_t m_runCount = 0;
    std::optional<bool> m_capturing;
    bool m_reportedNoServer = false;
    double m_retrySeconds = firstRetrySeconds;

    // Background queue only.
    std::unique_ptr<AudioStream> m_stream;
    std::function<void(AudioBuffer)> m_bufferHandler;
};

}  // namespace orvane
