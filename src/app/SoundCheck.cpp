// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/SoundCheck.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <utility>

namespace orvane {

// The check and the capture thread meet here: the stream is only touched on the background
// queue, and the last report's time only on the capture thread.
struct SoundCheck::Shared {
    std::unique_ptr<AudioStream> stream;
    std::chrono::steady_clock::time_point lastReport{};
    double loudest = 0;
    std::atomic<bool> alive{true};
};

SoundCheck::SoundCheck(AudioSource& source, BackgroundQueue& queue, MainQueue& mainQueue)
    : m_source(source),
      m_queue(queue),
      m_mainQueue(mainQueue),
      m_shared(std::make_shared<Shared>()) {}

SoundCheck::~SoundCheck() {
    m_shared->alive = false;
    m_queue.async([shared = m_shared] {
        if (shared->stream) shared->stream->stop();
        shared->stream.reset();
    });
}

double SoundCheck::levelOf(const AudioBuffer& buffer) {
    float peak = 0;
    for (const float sample : buffer.samples) peak = std::max(peak, std::abs(sample));
    if (peak <= 0) return 0;
    const double decibels = 20 * std::log10(static_cast<double>(peak));
    return std::clamp((decibels + 60) / 60, 0.0, 1.0);
}

void SoundCheck::start() {
    // Reports go through the main queue to this check, if it is still there.
    const auto report = [this, shared = std::weak_ptr<Shared>(m_shared),
                         &mainQueue = m_mainQueue](std::function<void(SoundCheck&)> call) {
        mainQueue.post([this, shared, call = std::move(call)] {
            const auto alive = shared.lock();
            if (alive && alive->alive) call(*this);
        });
    };
    m_queue.async([shared = m_shared, &source = m_source, report] {
        if (!shared->alive) return;
        AudioStreamHandlers handlers;
        handlers.onBuffer = [weak = std::weak_ptr<Shared>(shared), report](AudioBuffer buffer) {
            const auto shared = weak.lock();
            if (!shared) return;
            shared->loudest = std::max(shared->loudest, levelOf(buffer));
            const auto now = std::chrono::steady_clock::now();
            if (now - shared->lastReport < std::chrono::duration<double>(reportSeconds)) return;
            shared->lastReport = now;
            report([level = std::exchange(shared->loudest, 0.0)](SoundCheck& check) {
                if (check.onLevel) check.onLevel(level);
            });
        };
        handlers.onEnded = [report](const std::string& reason) {
            report([reason](SoundCheck& check) {
                if (check.onProblem) check.onProblem(reason);
            });
        };
        auto opened = source.open("orvane-sound-check", std::move(handlers));
        if (opened.status != AudioSource::OpenStatus::opened) {
            report([reason = opened.errorText](SoundCheck& check) {
                if (check.onProblem) check.onProblem(reason);
            });
            return;
        }
        shared->stream = std::move(opened.stream);
    });
}

}  // namespace orvane
