// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "platform/EchoCanceller.h"

namespace webrtc {
class AudioProcessing;
}

namespace orvane {

// WebRTC's acoustic echo canceller (libwebrtc-audio-processing), the one calls in browsers use.
// It estimates the delay between the playback and its echo itself, so the two streams need no
// common clock. Audio at a rate it does not take (other than 8, 16, 32 or 48 kHz) passes
// through unchanged.
class WebRtcEchoCanceller : public EchoCanceller {
public:
    WebRtcEchoCanceller();
    ~WebRtcEchoCanceller() override;
    WebRtcEchoCanceller(const WebRtcEchoCanceller&) = delete;
    WebRtcEchoCanceller& operator=(const WebRtcEchoCanceller&) = delete;

    void playback(const AudioBuffer& block) override;
    AudioBuffer clean(const AudioBuffer& block) override;

private:
    // Both directions go through one lock: the library is not safe for a render call beside a
    // capture call on every build, and a 10 ms step takes far less than a block lasts.
    std::mutex m_mutex;
    std::unique_ptr<webrtc::AudioProcessing> m_processing;
    // Mono samples waiting to fill a 10 ms step, per direction.
    std::vector<float> m_playbackPending;
    std::vector<float> m_capturePending;
    int m_playbackRate = 0;
    int m_captureRate = 0;
};

}  // namespace orvane
