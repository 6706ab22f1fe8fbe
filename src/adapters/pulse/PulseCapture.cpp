// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/pulse/PulseCapture.h"

#include <pthread.h>
#include <pulse/error.h>
#include <pulse/simple.h>

namespace orvane::pulse {

Connection connect(const char* source, const char* description, std::size_t framesPerBlock) {
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_FLOAT32LE;
    spec.rate = static_cast<std::uint32_t>(kSampleRate);
    spec.channels = 1;
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(framesPerBlock * sizeof(float));
    Connection connection;
    connection.stream = pa_simple_new(nullptr, "Orvane", PA_STREAM_RECORD, source, description,
                                      &spec, nullptr, &attributes, &connection.error);
    return connection;
}

bool isMissingServerOrDevice(int error) {
    return error == PA_ERR_CONNECTIONREFUSED || error == PA_ERR_NOENTITY ||
           error == PA_ERR_INVALIDSERVER || error == PA_ERR_CONNECTIONTERMINATED;
}

bool isAccessDenied(int error) {
    return error == PA_ERR_ACCESS || error == PA_ERR_AUTHKEY;
}

std::string describe(int error) {
    return pa_strerror(error);
}

CaptureThread::CaptureThread(pa_simple* stream, std::size_t framesPerBlock,
                             const std::string& label, std::function<void(AudioBuffer)> onBlock,
                             std::function<void(const std::string&)> onFailure,
                             std::function<Connection()> connectAgain)
    : m_stream(stream),
      m_onBlock(std::move(onBlock)),
      m_onFailure(std::move(onFailure)),
      m_connectAgain(std::move(connectAgain)) {
    m_thread = std::thread([this, framesPerBlock, label] { run(framesPerBlock, label); });
}

CaptureThread::~CaptureThread() {
    stop();
}

void CaptureThread::stop() {
    m_stopping = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_stream) {
        pa_simple_free(m_stream);
        m_stream = nullptr;
    }
    m_running = false;
}

void CaptureThread::run(std::size_t framesPerBlock, std::string label) {
    // Thread names are limited to 15 characters; the end of the label tells most.
    if (label.size() > 15) label = label.substr(label.size() - 15);
    pthread_setname_np(pthread_self(), label.c_str());
    while (!m_stopping) {
        if (m_reconnect.exchange(false) && m_connectAgain) {
            if (const auto again = m_connectAgain(); again.stream) {
                pa_simple_free(m_stream);
                m_stream = again.stream;
            }
        }
        AudioBuffer block{kSampleRate, 1, std::vector<float>(framesPerBlock)};
        int error = 0;
        if (pa_simple_read(m_stream, block.samples.data(), framesPerBlock * sizeof(float), &error) <
            0) {
            m_running = false;
            if (!m_stopping && m_onFailure) m_onFailure(describe(error));
            return;
        }
        if (!m_stopping && m_onBlock) m_onBlock(std::move(block));
    }
}

}  // namespace orvane::pulse
