// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/webrtc/WebRtcEchoCanceller.h"

#include <webrtc/modules/audio_processing/include/audio_processing.h>

namespace orvane {

namespace {

bool isSupportedRate(double rate) {
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
    std::size_t used = 0;
    for (; pending.size() - used >= step; used += step) process(pending.data() + used, step);
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(used));
}

}  // namespace

WebRtcEchoCanceller::WebRtcEchoCanceller() {
    webrtc::Config config;
    config.Set<webrtc::DelayAgnostic>(new webrtc::DelayAgnostic(true));
    config.Set<webrtc::ExtendedFilter>(new webrtc::ExtendedFilter(true));
    m_processing.reset(webrtc::AudioProcessing::Create(config));
    m_processing->high_pass_filter()->Enable(true);
    m_processing->echo_cancellation()->enable_drift_compensation(false);
    m_processing->echo_cancellation()->set_suppression_level(
        webrtc::EchoCancellation::kHighSuppression);
    m_processing->echo_cancellation()->Enable(true);
}

WebRtcEchoCanceller::~WebRtcEchoCanceller() = default;

void WebRtcEchoCanceller::playback(const AudioBuffer& block) {
    if (!isSupportedRate(block.sampleRate)) return;
    std::lock_guard lock(m_mutex);
    inSteps(block, m_playbackRate, m_playbackPending, [this](float* samples, std::size_t) {
        const webrtc::StreamConfig stream(m_playbackRate, 1);
        float* channels[] = {samples};
        m_processing->ProcessReverseStream(channels, stream, stream, channels);
    });
}

AudioBuffer WebRtcEchoCanceller::clean(const AudioBuffer& block) {
    AudioBuffer out{block.sampleRate, 1, {}};
    if (!isSupportedRate(block.sampleRate)) {
        block.appendMono(out.samples);
        return out;
    }
    std::lock_guard lock(m_mutex);
    inSteps(block, m_captureRate, m_capturePending, [this, &out](float* samples, std::size_t n) {
        const webrtc::StreamConfig stream(m_captureRate, 1);
        float* channels[] = {samples};
        // The delay is estimated inside; this is only its starting point.
        m_processing->set_stream_delay_ms(50);
        m_processing->ProcessStream(channels, stream, stream, channels);
        out.samples.insert(out.samples.end(), samples, samples + n);
    });
    return out;
}

}  // namespace orvane
