// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/pulse/PulseAudioSource.h"

#include <pulse/def.h>

#include <memory>
#include <mutex>
#include <string>

#include "adapters/pulse/DefaultSinkWatcher.h"
#include "adapters/pulse/PulseCapture.h"

namespace orvane {

namespace {

constexpr std::size_t kFramesPerBlock = 960;  // 20 ms

pulse::Connection connectTo(const std::string& monitor) {
    return pulse::connect(monitor.c_str(), "Interviewer audio", kFramesPerBlock);
}

// The capture moves to the new default output's monitor when the default output changes (the
// call's sound goes where the user sends it).
// An output the user chose is heard whatever the default; the default is followed otherwise.
class PulseAudioStream : public AudioStream {
public:
    PulseAudioStream(pa_simple* stream, const std::string& label, AudioStreamHandlers handlers,
                     std::string monitor, bool followDefault)
        : m_monitor(std::move(monitor)),
          m_capture(stream, kFramesPerBlock, label, std::move(handlers.onBuffer),
                    std::move(handlers.onEnded), [this] {
                        std::lock_guard lock(m_mutex);
                        return connectTo(m_monitor);
                    }) {
        if (!followDefault) return;
        m_watcher = std::make_unique<pulse::DefaultSinkWatcher>([this](const std::string& monitor) {
            {
                std::lock_guard lock(m_mutex);
                m_monitor = monitor;
            }
            m_capture.reconnect();
        });
    }
    void stop() override { m_capture.stop(); }

private:
    std::mutex m_mutex;
    std::string m_monitor;  // the one to move to
    pulse::CaptureThread m_capture;
    std::unique_ptr<pulse::DefaultSinkWatcher> m_watcher;
};

}  // namespace

void PulseAudioSource::useDevice(const std::string& name) {
    std::lock_guard lock(m_mutex);
    m_device = name;
}

AudioSource::OpenResult PulseAudioSource::open(const std::string& threadLabel,
                                               AudioStreamHandlers handlers) {
    std::string device;
    {
        std::lock_guard lock(m_mutex);
        device = m_device;
    }
    const auto monitor = device.empty() ? std::string("@DEFAULT_MONITOR@") : device;
    const auto connection = connectTo(monitor);
    OpenResult result;
    if (connection.stream) {
        result.status = OpenStatus::opened;
        result.stream = std::make_unique<PulseAudioStream>(
            connection.stream, threadLabel, std::move(handlers), monitor, device.empty());
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
