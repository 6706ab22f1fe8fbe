// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/Microphone.h"

namespace orvane {

// The default input (or the one chosen) through the PulseAudio protocol, in blocks of 1024 frames
// converted by the server to 48 000 Hz mono float. Permission is granted when there is an input to
// record from: the desktop's sound server, not the app, decides who may record.
//
// Everything that can block (connecting, reading, disconnecting) runs on threads this object
// owns, so the main thread never waits for the sound server: a stream's stop() only closes the
// gate to its handler. The threads are joined as they finish, and all of them when this object
// is destroyed.
class PulseMicrophone : public Microphone {
public:
    PulseMicrophone();
    ~PulseMicrophone() override;
    PulseMicrophone(const PulseMicrophone&) = delete;
    PulseMicrophone& operator=(const PulseMicrophone&) = delete;

    void requestPermission(std::function<void(bool granted)> completion) override;
    std::unique_ptr<MicrophoneStream> open(std::function<void(AudioBuffer)> onBlock) override;
    void useDevice(const std::string& name) override;

    class Threads;

private:
    std::shared_ptr<Threads> m_threads;
    std::mutex m_deviceMutex;
    std::string m_device;
};

}  // namespace orvane
