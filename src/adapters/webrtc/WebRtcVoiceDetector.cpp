// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/webrtc/WebRtcVoiceDetector.h"

#include <webrtc/modules/audio_processing/include/audio_processing.h>

#include <algorithm>
#include <cmath>

#include "adapters/webrtc/TenMillisecondSteps.h"

namespace orvane {

namespace {

float rms(const float* samples, std::size_t count) {
    double energy = 0;
    for (std::size_t i = 0; i < count; ++i) energy += double(samples[i]) * samples[i];
    return count ? static_cast<float>(std::sqrt(energy / static_cast<double>(count))) : 0.0f;
}

}  // namespace

WebRtcVoiceDetector::WebRtcVoiceDetector() {
    m_processing.reset(webrtc::AudioProcessing::Create());
    // Low likelihood: of the detector's settings, the one that keeps the most of the room's
    // noise out and still takes a soft ending consonant as speech.
    m_processing->voice_detection()->set_likelihood(webrtc::VoiceDetection::kLowLikelihood);
    m_processing->voice_detection()->Enable(true);
}

WebRtcVoiceDetector::~WebRtcVoiceDetector() = default;

bool WebRtcVoiceDetector::standsOut(float level) {
    m_noiseFloor = m_steps == 0 ? level : std::min(level, m_noiseFloor * noiseFloorRise);
    return ++m_steps > warmUpSteps && level >= levelFloor && level >= m_noiseFloor * aboveNoise;
}

bool WebRtcVoiceDetector::hearsVoice(const AudioBuffer& block) {
    bool voiced = false;
    if (!webrtcsteps::isSupportedRate(block.sampleRate)) {
        std::vector<float> mono;
        block.appendMono(mono);
        const auto step = static_cast<std::size_t>(std::max(1.0, block.sampleRate / 100));
        for (std::size_t at = 0; at + step <= mono.size(); at += step)
            voiced = standsOut(rms(mono.data() + at, step)) || voiced;
        return voiced;
    }
    webrtcsteps::inSteps(block, m_rate, m_pending, [&](float* samples, std::size_t count) {
        const bool loudEnough = standsOut(rms(samples, count));
        const webrtc::StreamConfig stream(m_rate, 1);
        float* channels[] = {samples};
        // Every step is judged, so that the detector's own memory of the stream stays whole.
        m_processing->ProcessStream(channels, stream, stream, channels);
        if (loudEnough && m_processing->voice_detection()->stream_has_voice()) voiced = true;
    });
    return voiced;
}

}  // namespace orvane
