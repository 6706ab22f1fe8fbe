// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstddef>

#include "platform/AudioBuffer.h"

namespace orvane::monoaudio {

// Appends the block, its channels mixed to one, to mono audio (a change of rate starts it
// afresh); the seconds it held.
inline double append(AudioBuffer& mono, const AudioBuffer& block) {
    if (block.channels <= 0 || block.sampleRate <= 0) return 0;
    if (mono.sampleRate != block.sampleRate) {
        mono.samples.clear();
        mono.sampleRate = block.sampleRate;
    }
    block.appendMono(mono.samples);
    return static_cast<double>(block.frameCount()) / block.sampleRate;
}

// Lets go of all but the last `seconds` of mono audio.
inline void keepLast(AudioBuffer& mono, double seconds) {
    const auto kept = static_cast<std::size_t>(seconds * mono.sampleRate);
    if (mono.samples.size() > kept) {
        mono.samples.erase(mono.samples.begin(),
                           mono.samples.end() - static_cast<std::ptrdiff_t>(kept));
    }
}

}  // namespace orvane::monoaudio
