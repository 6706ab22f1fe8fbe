// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include "platform/SoundDevices.h"

namespace orvane {

// The sound server's sources through the PulseAudio protocol (PulseAudio, or PipeWire's Pulse
// server): monitors of its outputs, and its inputs. Each list connects, asks and disconnects,
// waiting two seconds at most.
class PulseSoundDevices : public SoundDevices {
public:
    std::vector<SoundDevice> outputs() override;
    std::vector<SoundDevice> inputs() override;
};

}  // namespace orvane
