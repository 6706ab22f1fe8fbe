// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
#include <vector>

namespace orvane {

// A place sound can be heard from: an output's monitor (what the computer plays there) or an
// input (a microphone, a headset).
struct SoundDevice {
    std::string name;         // the sound server's own, to open it by
    std::string description;  // for the user: "Built-in Audio Analog Stereo"
    bool operator==(const SoundDevice&) const = default;
};

// What the sound server offers to hear from, now. Each call asks the server and may block for a
// moment: call it off the main thread. Empty when there is no server.
class SoundDevices {
public:
    virtual ~SoundDevices() = default;
    virtual std::vector<SoundDevice> outputs() = 0;  // monitors of the outputs
    virtual std::vector<SoundDevice> inputs() = 0;   // inputs, monitors left out
};

}  // namespace orvane
