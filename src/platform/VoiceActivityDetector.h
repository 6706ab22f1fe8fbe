// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <memory>

#include "platform/AudioBuffer.h"

namespace orvane {

// Tells someone speaking from the rest of a sound stream: silence, room noise, music. One per
// stream, fed its blocks in order, from one thread at a time.
class VoiceActivityDetector {
public:
    virtual ~VoiceActivityDetector() = default;
    // Whether someone speaks anywhere in this block.
    virtual bool hearsVoice(const AudioBuffer& block) = 0;
};

// Makes a detector for each stream heard.
using VoiceActivityDetectors = std::function<std::unique_ptr<VoiceActivityDetector>()>;

}  // namespace orvane
