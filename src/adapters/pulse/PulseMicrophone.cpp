// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/pulse/PulseMicrophone.h"

#include <pulse/simple.h>

#include <mutex>
#include <thread>

#include "adapters/pulse/PulseCapture.h"

namespace orvane {

namespace {

constexpr std::size_t kFramesPerBlock = 1024;

class PulseMicrophoneStream : public MicrophoneStream {
public:
    explicit PulseMicrophoneStream(std::function<void(AudioBuffer)> onBlock) {
        // Connecting can take a moment; the caller is on the main thread, so it happens here.
        m_connecting = std::thread([this, onBlock = std::move(onBlock)]() mutable {
            const auto connection = pulse::connect(nullptr, "Push-to-talk", kFramesPerBlock);
            std::lock_guard lock(m_mutex);
            if (!connection.stream) return;
            if (m_stopped) {
                pa_simple_free(connection.stream);
                return;
            }
            m_capture = std::make_unique<pulse::CaptureThread>(
                connection.stream, kFramesPerBlock, "orvane-mic", std::move(onBlock), nullptr);
        });
    }
    ~PulseMicrophoneStream() override { stop(); }

    void stop() override {
        if (m_connecting.joinable()) m_connecting.join();
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        if (m_capture) m_capture->stop();
    }
    bool isRunning() const override {
        std::lock_guard lock(m_mutex);
        return !m_stopped && (!m_capture || m_capture->isRunning());
    }

private:
    mutable std::mutex m_mutex;
    bool m_stopped = false;
    std::unique_ptr<pulse::CaptureThread> m_capture;
    std::thread m_connecting;
};

}  // namespace

void PulseMicrophone::requestPermission(std::function<void(bool granted)> completion) {
    std::thread([completion = std::move(completion)] {
        const auto connection = pulse::connect(nullptr, "Push-to-talk check", kFramesPerBlock);
        if (connection.stream) pa_simple_free(connection.stream);
        completion(connection.stream != nullptr);
    }).detach();
}

std::unique_ptr<MicrophoneStream> PulseMicrophone::open(std::function<void(AudioBuffer)> onBlock) {
    return std::make_unique<PulseMicrophoneStream>(std::move(onBlock));
}

}  // namespace orvane
