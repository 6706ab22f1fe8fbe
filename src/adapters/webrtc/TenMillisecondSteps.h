// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstddef>
#include <vector>

#include "platform/AudioBuffer.h"

namespace orvane::webrtcsteps {

// The rates WebRTC's audio processing works at.
inline bool isSupportedRate(double rate) {
    return rate == 8000 || rate == 16000 || rate == 32000 || rate == 48000;
}

// Feeds the block's mono samples into pending and hands each whole 10 ms step to process; a
// change of rate drops what was pending at the old one.
template <typename Process>
void inSteps(const AudioBuffer& block, int& rate, std::vector<float>& pending, Process process) {
    const int blockRate = static_cast<int>(block.sampleRate);
    if (blockRate != rate) {
        rate = blockRate;
        pending.clear();
    }
    block.appendMono(pending);
    const std::size_t step = static_cast<std::size_t>(rate / 100);
    if (step == 0) return;
    std::size_t used = 0;
    for (; pending.size() - used >= step; used += step) process(pending.data() + used, step);
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(used));
}

}  // namespace orvane::webrtcsteps
