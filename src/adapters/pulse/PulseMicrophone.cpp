// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/pulse/PulseMicrophone.h"

#include <pthread.h>
#include <pulse/simple.h>

#include <atomic>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

#include "adapters/pulse/PulseCapture.h"

namespace orvane {

namespace {

constexpr std::size_t kFramesPerBlock = 1024;

// What a stream's thread and its handle share. The gate: blocks reach the handler only while it
// is open, and stop() closes it under the same lock, so none is delivered after stop() returns.
struct StreamState {
    std::string device;  // empty: the default input
    std::mutex mutex;
    std::function<void(AudioBuffer)> onBlock;
    bool stopped = false;
    std::atomic<bool> stopping{false};
    std::atomic<bool> running{true};

    void deliver(AudioBuffer block) {
        std::lock_guard lock(mutex);
        if (!stopped && onBlock) onBlock(std::move(block));
    }
    void stop() {
        stopping = true;
        std::lock_guard lock(mutex);
        stopped = true;
        onBlock = nullptr;
    }
};

class PulseMicrophoneStream : public MicrophoneStream {
public:
    explicit PulseMicrophoneStream(std::shared_ptr<StreamState> state)
        : m_state(std::move(state)) {}
    ~PulseMicrophoneStream() override { stop(); }

    void stop() override { m_state->stop(); }
    bool isRunning() const override { return !m_state->stopping && m_state->running; }

private:
    std::shared_ptr<StreamState> m_state;
};

// Connects and reads until told to stop or the server goes; then disconnects.
void record(const std::shared_ptr<StreamState>& state) {
    pthread_setname_np(pthread_self(), "orvane-mic");
    const auto connection = pulse::connect(state->device.empty() ? nullptr : state->device.c_str(),
                                           "Push-to-talk", kFramesPerBlock);
    if (!connection.stream) {
        state->running = false;
        return;
    }
    while (!state->stopping) {
        AudioBuffer block{pulse::kSampleRate, 1, std::vector<float>(kFramesPerBlock)};
        int error = 0;
        if (pa_simple_read(connection.stream, block.samples.data(), kFramesPerBlock * sizeof(float),
                           &error) < 0) {
            break;
        }
        state->deliver(std::move(block));
    }
    state->running = false;
    pa_simple_free(connection.stream);
}

}  // namespace

class PulseMicrophone::Threads {
public:
    // Streams that may still be recording, so that none outlives the microphone.
    std::mutex streamsMutex;
    std::vector<std::weak_ptr<StreamState>> streams;

    // Runs the work on a new thread of its own, first joining those that have finished.
    void run(std::function<void()> work) {
        std::lock_guard lock(m_mutex);
        reapFinished();
        auto done = std::make_shared<std::atomic<bool>>(false);
        m_threads.push_back({std::thread([work = std::move(work), done] {
                                 work();
                                 *done = true;
                             }),
                             done});
    }
    void joinAll() {
        std::lock_guard lock(m_mutex);
        for (auto& entry : m_threads) entry.thread.join();
        m_threads.clear();
    }

private:
    struct Entry {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void reapFinished() {
        for (auto it = m_threads.begin(); it != m_threads.end();) {
            if (*it->done) {
                it->thread.join();
                it = m_threads.erase(it);
            } else {
                ++it;
            }
        }
    }

    std::mutex m_mutex;
    std::list<Entry> m_threads;
};

PulseMicrophone::PulseMicrophone() : m_threads(std::make_shared<Threads>()) {}

PulseMicrophone::~PulseMicrophone() {
    {
        std::lock_guard lock(m_threads->streamsMutex);
        for (const auto& weak : m_threads->streams) {
            if (auto state = weak.lock()) state->stop();
        }
    }
    // Each thread ends after its next read.
    m_threads->joinAll();
}

void PulseMicrophone::useDevice(const std::string& name) {
    std::lock_guard lock(m_deviceMutex);
    m_device = name;
}

void PulseMicrophone::requestPermission(std::function<void(bool granted)> completion) {
    m_threads->run([completion = std::move(completion)] {
        const auto connection = pulse::connect(nullptr, "Push-to-talk check", kFramesPerBlock);
        if (connection.stream) pa_simple_free(connection.stream);
        completion(connection.stream != nullptr);
    });
}

std::unique_ptr<MicrophoneStream> PulseMicrophone::open(std::function<void(AudioBuffer)> onBlock) {
    auto state = std::make_shared<StreamState>();
    state->onBlock = std::move(onBlock);
    {
        std::lock_guard lock(m_deviceMutex);
        state->device = m_device;
    }
    {
        std::lock_guard lock(m_threads->streamsMutex);
        std::erase_if(m_threads->streams, [](const auto& weak) { return weak.expired(); });
        m_threads->streams.push_back(state);
    }
    m_threads->run([state] { record(state); });
    return std::make_unique<PulseMicrophoneStream>(state);
}

}  // namespace orvane
