// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include "platform/AudioBuffer.h"

namespace orvane {

// Takes what the computer plays out of what the microphone hears, so that the interviewer's voice
// from the speakers is not heard again as the candidate's. playback() and clean() are called from
// two capture threads at once; the adapter synchronises.
class EchoCanceller {
public:
    virtual ~EchoCanceller() = default;
    // A block of the computer's own sound, as it was captured.
    virtual void playback(const AudioBuffer& block) = 0;
    // A microphone block with the playback's echo taken out, in one channel at the block's rate;
    // it may hold fewer or more frames than the block (the canceller works in fixed steps).
    virtual AudioBuffer clean(const AudioBuffer& block) = 0;
};

}  // namespace orvane
