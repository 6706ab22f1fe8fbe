// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/AudioSource.h"
#include "platform/BackgroundQueue.h"
#include "platform/MainQueue.h"

namespace orvane {

// What the computer plays, as a level, while Preferences is open: a candidate can see before the
// call that Orvane hears the right output. The stream opens and stops on the background queue,
// never on the main thread; destroying the check stops it.
class SoundCheck {
public:
    // Reports at most this often.
    static constexpr double reportSeconds = 0.1;

    SoundCheck(AudioSource& source, BackgroundQueue& queue, MainQueue& mainQueue);
    ~SoundCheck();
    SoundCheck(const SoundCheck&) = delete;
    SoundCheck& operator=(const SoundCheck&) = delete;

    // 0 (silence, or below -60 dBFS) to 1 (full scale), on the main thread.
    std::function<void(double level)> onLevel;
    // Why nothing can be heard, on the main thread.
    std::function<void(const std::string& problem)> onProblem;

    void start();

    // The loudest sample of a block, from -60 dBFS (0) to full scale (1).
    static double levelOf(const AudioBuffer& buffer);

private:
    struct Shared;
    AudioSource& m_source;
    BackgroundQueue& m_queue;
    MainQueue& m_mainQueue;
    std::shared_ptr<Shared> m_shared;
};

}  // namespace orvane
