// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// The WAV reader of orvane-listen and the recognition benchmark, on files from anywhere. Besides
// crashes: what it accepts has a rate and a channel count a recording can have, whole frames, and
// samples a resampler can take.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "capture/WavFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto parsed =
        orvane::parseWav(std::string_view(reinterpret_cast<const char*>(data), size));
    const auto* buffer = std::get_if<orvane::AudioBuffer>(&parsed);
    if (!buffer) return 0;
    if (buffer->sampleRate < orvane::minWavRate || buffer->sampleRate > orvane::maxWavRate) {
        std::abort();
    }
    if (buffer->channels < 1 || buffer->channels > orvane::maxWavChannels) std::abort();
    if (buffer->samples.size() > size) std::abort();  // never more samples than bytes
    return 0;
}
