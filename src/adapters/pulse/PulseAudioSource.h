// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <mutex>
#include <string>

#include "platform/AudioSource.h"

namespace orvane {

// The computer's output, captured from the monitor of the default sink (or of the one chosen)
// through the PulseAudio protocol (PulseAudio itself, or PipeWire's Pulse server) as 48 000 Hz mono
// float blocks of 20 ms, on one capture thread named after the label.
//
// Orvane plays no sound of its own, so nothing needs to be filtered out of the monitor.
//
// No server or no monitor to capture is reported as noDevice, a refusal as denied; the server
// going away while capturing ends the stream with its reason. When the default output changes (a
// headset plugged in), the capture follows it to its monitor.
class PulseAudioSource : public AudioSource {
public:
    OpenResult open(const std::string& threadLabel, AudioStreamHandlers handlers) override;
    void useDevice(const std::string& name) override;

private:
    std::mutex m_mutex;
    std::string m_device;  // empty: the default output's monitor
};

}  // namespace orvane
