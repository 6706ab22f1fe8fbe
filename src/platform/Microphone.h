// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <memory>

#include "platform/AudioBuffer.h"

namespace orvane {

// A capture of the default input device. Destroying it stops it as stop() does.
class MicrophoneStream {
public:
    virtual ~MicrophoneStream() = default;
    // Ends the capture; no block is delivered after stop() has returned. Safe to call twice.
    virtual void stop() = 0;
    // True while audio is being captured; false when the device could not be started.
    virtual bool isRunning() const = 0;
};

class Microphone {
public:
    virtual ~Microphone() = default;

    // Asks whether Orvane may record from the microphone. The answer arrives once, on any thread.
    virtual void requestPermission(std::function<void(bool granted)> completion) = 0;

    // Starts capturing the default input; returns at once. onBlock receives blocks of about 1024
    // frames in the input's own rate and channel count, on a capture thread. A device that fails
    // to start still yields a stream, one that is not running and delivers nothing.
    virtual std::unique_ptr<MicrophoneStream> open(std::function<void(AudioBuffer)> onBlock) = 0;
    // The input the next capture records (a SoundDevices input's name); empty: the default.
    // Callable from any thread.
    virtual void useDevice(const std::string& name) { (void)name; }
};

}  // namespace orvane
