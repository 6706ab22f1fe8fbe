// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "platform/AudioBuffer.h"

typedef struct pa_simple pa_simple;

namespace orvane::pulse {

constexpr double kSampleRate = 48000;

// A connected record stream, or the PulseAudio error code of why there is none.
struct Connection {
    pa_simple* stream = nullptr;
    int error = 0;
};

// Connects a mono float record stream to the source (nullptr: the default input).
Connection connect(const char* source, const char* description, std::size_t framesPerBlock);
bool isMissingServerOrDevice(int error);
bool isAccessDenied(int error);
std::string describe(int error);

// Reads blocks from a connected stream on a thread of its own until stopped or until the stream
// fails, which it then reports once.
class CaptureThread {
public:
    CaptureThread(pa_simple* stream, std::size_t framesPerBlock, const std::string& label,
                  std::function<void(AudioBuffer)> onBlock,
                  std::function<void(const std::string&)> onFailure,
                  std::function<Connection()> connectAgain = nullptr);
    ~CaptureThread();
    // Ends the capture and joins the thread; no block is delivered after it returns.
    void stop();
    bool isRunning() const { return m_running; }
    // From any thread: before its next block the capture connects again (connectAgain), to
    // follow a device that changed; if that fails it goes on with the stream it has.
    void reconnect() { m_reconnect = true; }

private:
    void run(std::size_t framesPerBlock, std::string label);

    pa_simple* m_stream;
    std::function<void(AudioBuffer)> m_onBlock;
    std::function<void(const std::string&)> m_onFailure;
    std::function<Connection()> m_connectAgain;
    std::atomic<bool> m_reconnect{false};
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_running{true};
    std::thread m_thread;
};

}  // namespace orvane::pulse
