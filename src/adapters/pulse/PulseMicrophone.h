// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include "platform/Microphone.h"

namespace orvane {

// The default input through the PulseAudio protocol, in blocks of 1024 frames converted by the
// server to 48 000 Hz mono float. Permission is granted when there is an input to record from:
// the desktop's sound server, not the app, decides who may record.
class PulseMicrophone : public Microphone {
public:
    void requestPermission(std::function<void(bool granted)> completion) override;
    std::unique_ptr<MicrophoneStream> open(std::function<void(AudioBuffer)> onBlock) override;
};

}  // namespace orvane
