// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/pulse/PulseAudioSource.h"

#include <pulse/def.h>

#include "adapters/pulse/PulseCapture.h"

namespace orvane {

namespace {

constexpr std::size_t kFramesPerBlock = 960;  // 20 ms

class PulseAudioStream : public AudioStream {
public:
    PulseAudioStream(pa_simple* stream, const std::string& label, AudioStreamHandlers handlers)
        : m_capture(stream, kFramesPerBlock, label, std::move(handlers.onBuffer),
                    std::move(handlers.onEnded)) {}
    void stop() override { m_capture.stop(); }

private:
    pulse::CaptureThread m_capture;
};

}  // namespace

AudioSource::OpenResult PulseAudioSource::open(const std::string& threadLabel,
                                               AudioStreamHandlers handlers) {
    const auto connection =
        pulse::connect("@DEFAULT_MONITOR@", "Interviewer audio", kFramesPerBlock);
    OpenResult result;
    if (connection.stream) {
        result.status = OpenStatus::opened;
        result.stream =
            std::make_unique<PulseAudioStream>(connection.stream, threadLabel, std::move(handlers));
    } else if (pulse::isMissingServerOrDevice(connection.error)) {
        result.status = OpenStatus::noDevice;
        result.errorText = connection.error == PA_ERR_NOENTITY
                               ? "the sound server has no output to listen to"
                               : "no sound server (PulseAudio or PipeWire) is running";
    } else if (pulse::isAccessDenied(connection.error)) {
        result.status = OpenStatus::permissionDenied;
        result.errorText = pulse::describe(connection.error);
    } else {
        result.status = OpenStatus::failed;
        result.errorText = pulse::describe(connection.error);
    }
    return result;
}

}  // namespace orvane
