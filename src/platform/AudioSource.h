// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/AudioBuffer.h"

namespace orvane {

// A running capture of the computer's output. Destroying it stops it as stop() does.
class AudioStream {
public:
    virtual ~AudioStream() = default;
    // Ends the capture and joins its thread. May block briefly: call it off the main thread.
    // No handler runs after stop() has returned.
    virtual void stop() = 0;
};

struct AudioStreamHandlers {
    // Every captured block, on the stream's one serial capture thread, in capture order.
    std::function<void(AudioBuffer)> onBuffer;
    // The stream ended by itself (the sound server went away, the device vanished). Called at most
    // once, on the capture thread, with a readable reason; no buffer follows it.
    std::function<void(const std::string& reason)> onEnded;
};

// The computer's own sound output, captured as 48 000 Hz mono PCM. The application's own output
// is left out of the capture where the platform mixes it in.
class AudioSource {
public:
    enum class OpenStatus {
        opened,
        // There is nothing to capture from: no sound server, no output device to monitor.
        // errorText says which, as a phrase ("no sound server is running").
        noDevice,
        // The platform refused Orvane access to what the computer plays; errorText says how.
        permissionDenied,
        // Opening failed otherwise; errorText says why.
        failed,
    };

    struct OpenResult {
        OpenStatus status = OpenStatus::failed;
        std::unique_ptr<AudioStream> stream;  // set exactly when status is opened
        std::string errorText;
    };

    virtual ~AudioSource() = default;

    // Opens and starts a capture of 48 000 Hz mono audio. Blocks until the capture runs or has
    // failed: call it off the main thread. threadLabel names the capture thread.
    virtual OpenResult open(const std::string& threadLabel, AudioStreamHandlers handlers) = 0;
    // The output whose sound the next capture hears (a SoundDevices output's name); empty: the
    // default output, followed when it changes. Callable from any thread.
    virtual void useDevice(const std::string& name) { (void)name; }
};

}  // namespace orvane
