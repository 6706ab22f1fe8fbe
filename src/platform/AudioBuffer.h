// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstddef>
#include <vector>

namespace orvane {

// A block of PCM audio: 32-bit float samples in [-1, 1], interleaved when channels > 1.
// Adapters convert whatever the device gives into this one format.
struct AudioBuffer {
    double sampleRate = 48000;
    int channels = 1;
    std::vector<float> samples;

    std::size_t frameCount() const {
        return channels > 0 ? samples.size() / static_cast<std::size_t>(channels) : 0;
    }
    // Each frame's channels averaged into one sample, appended to out.
    void appendMono(std::vector<float>& out) const {
        const auto count = static_cast<std::size_t>(channels > 0 ? channels : 1);
        for (std::size_t frame = 0; frame < frameCount(); ++frame) {
            float sum = 0;
            for (std::size_t c = 0; c < count; ++c) sum += samples[frame * count + c];
            out.push_back(sum / static_cast<float>(count));
        }
    }
};

}  // namespace orvane
