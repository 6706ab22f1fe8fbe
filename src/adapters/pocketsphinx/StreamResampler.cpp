// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/pocketsphinx/StreamResampler.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>

namespace orvane {

StreamResampler::StreamResampler() = default;

StreamResampler::~StreamResampler() {
    if (m_state) src_delete(m_state);
}

void StreamResampler::process(const AudioBuffer& block, std::vector<std::int16_t>& out) {
    const auto frames = block.frameCount();
    if (frames == 0 || block.sampleRate <= 0) return;
    if (block.sampleRate != m_inputRate) {
        if (m_state) src_delete(m_state);
        int error = 0;
        m_state = src_new(SRC_SINC_FASTEST, 1, &error);
        m_inputRate = block.sampleRate;
    }
    m_mono.clear();
    block.appendMono(m_mono);
    run(m_mono.data(), static_cast<long>(frames), false, out);
}

void StreamResampler::finish(std::vector<std::int16_t>& out) {
    if (!m_state) return;
    run(nullptr, 0, true, out);
    src_delete(m_state);
    m_state = nullptr;
    m_inputRate = 0;
}

void StreamResampler::run(const float* input, long frames, bool last,
                          std::vector<std::int16_t>& out) {
    const double ratio = outputRate / m_inputRate;
    long consumed = 0;
    while (true) {
        m_converted.resize(static_cast<std::size_t>(std::ceil((frames - consumed) * ratio)) + 256);
        SRC_DATA data{};
        static const float kNothing = 0;  // libsamplerate wants a pointer even for no input
        data.data_in = input ? input + consumed : &kNothing;
        data.input_frames = frames - consumed;
        data.data_out = m_converted.data();
        data.output_frames = static_cast<long>(m_converted.size());
        data.end_of_input = last ? 1 : 0;
        data.src_ratio = ratio;
        if (src_process(m_state, &data) != 0) return;
        consumed += data.input_frames_used;
        for (long i = 0; i < data.output_frames_gen; ++i) {
            const float sample = std::clamp(m_converted[static_cast<std::size_t>(i)], -1.0f, 1.0f);
            out.push_back(static_cast<std::int16_t>(std::lround(sample * 32767.0f)));
        }
        const bool stalled = data.input_frames_used == 0 && data.output_frames_gen == 0;
        // At the end the filter keeps releasing its tail until it has nothing left.
        if (stalled || (consumed >= frames && !last)) break;
    }
}

}  // namespace orvane
