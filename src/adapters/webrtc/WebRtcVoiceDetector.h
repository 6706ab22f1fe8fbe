// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <memory>
#include <vector>

#include "platform/VoiceActivityDetector.h"

namespace webrtc {
class AudioProcessing;
}

namespace orvane {

// WebRTC's voice-activity detector (libwebrtc-audio-processing), the one calls use to stop
// sending during silence. It judges 10 ms steps by their spectrum, and takes steady noise for a
// voice once the noise is loud (white noise at -30 dBFS) and its own first steps, before it knows
// the stream, too; so a step is speech only after those first steps, and only when it also stands
// well above the noise floor (the quietest the stream has lately been) and above a level no
// speech is below. Audio at a rate it does not take (other than 8, 16, 32 or 48 kHz) is judged by
// the levels alone.
class WebRtcVoiceDetector : public VoiceActivityDetector {
public:
    WebRtcVoiceDetector();
    ~WebRtcVoiceDetector() override;
    WebRtcVoiceDetector(const WebRtcVoiceDetector&) = delete;
    WebRtcVoiceDetector& operator=(const WebRtcVoiceDetector&) = delete;

    bool hearsVoice(const AudioBuffer& block) override;

    // Below this RMS level (about -50 dBFS) nothing is a voice.
    static constexpr float levelFloor = 0.003f;
    // Speech stands this far above the noise floor (12 dB)...
    static constexpr float aboveNoise = 4.0f;
    // ...which follows a quieter stream at once and a louder one by 3 dB a second (a step is
    // 10 ms), so that a noisier room is learnt in seconds and a long word is not.
    static constexpr float noiseFloorRise = 1.00346f;
    static constexpr int warmUpSteps = 5;

private:
    // Follows the noise floor with the step's level; whether the step may be speech.
    bool standsOut(float level);

    std::unique_ptr<webrtc::AudioProcessing> m_processing;
    std::vector<float> m_pending;  // mono samples waiting to fill a 10 ms step
    int m_rate = 0;
    float m_noiseFloor = 0;
    long m_steps = 0;
};

}  // namespace orvane
