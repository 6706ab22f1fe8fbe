// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/webrtc/WebRtcEchoCanceller.h"

#include <webrtc/modules/audio_processing/include/audio_processing.h>

#include "adapters/webrtc/TenMillisecondSteps.h"

namespace orvane {

using webrtcsteps::inSteps;
using webrtcsteps::isSupportedRate;

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
