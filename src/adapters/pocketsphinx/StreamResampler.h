// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <vector>

#include "platform/AudioBuffer.h"

typedef struct SRC_STATE_tag SRC_STATE;

namespace orvane {

// Turns audio of any rate and channel count into 16 kHz mono 16-bit samples for the decoder,
// block by block, with libsamplerate keeping its filter state across blocks so that block
// boundaries leave no trace.
class StreamResampler {
public:
    static constexpr double outputRate = 16000;

    StreamResampler();
    ~StreamResampler();
    StreamResampler(const StreamResampler&) = delete;
    StreamResampler& operator=(const StreamResampler&) = delete;

    // Appends the converted samples of the block to out. A change of input rate restarts the
    // converter.
    void process(const AudioBuffer& block, std::vector<std::int16_t>& out);
    // Flushes what the filter still holds; the next block starts afresh.
    void finish(std::vector<std::int16_t>& out);

private:
    void run(const float* input, long frames, bool last, std::vector<std::int16_t>& out);

    SRC_STATE* m_state = nullptr;
    double m_inputRate = 0;
    std::vector<float> m_mono;
    std::vector<float> m_converted;
};

}  // namespace orvane
