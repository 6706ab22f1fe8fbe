// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// Client overhead per answer delta: from the moment a loopback server writes a delta to the moment
// the session's onAnswer runs on the main queue, through the real HTTP client, decoder, stream
// delegate and run loop. Prints the median, p99 and maximum over 10,000 deltas.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <vector>

#include "accounts/AuthManager.h"
#include "integration/LoopbackServer.h"
#include "session/SessionManager.h"
#include "tools/QuestionOnlyPlatform.h"

using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    const int deltas = argc > 1 ? std::atoi(argv[1]) : 10000;
    std::vector<Clock::time_point> sent(static_cast<std::size_t>(deltas));
    std::vector<Clock::time_point> shown(static_cast<std::size_t>(deltas));

    orvane::testing::LoopbackServer server([&](orvane::testing::LoopbackConnection& c) {
        c.write(orvane::testing::eventStreamHead());
        const auto event = orvane::testing::deltaEvent("word ");
        for (int i = 0; i < deltas; ++i) {
            sent[static_cast<std::size_t>(i)] = Clock::now();
            c.write(event);
            // Spaced like a fast model, so each delta is measured on its own, not queued.
            const auto until = Clock::now() + std::chrono::microseconds(200);
            while (Clock::now() < until) {
            }
        }
        c.write(orvane::testing::kStopEvent);
    });

    orvane::QuestionOnlyPlatform platform;
    auto& mainQueue = platform.mainQueue;
    orvane::AuthManager auth;
    auth.setAccessToken("bench");
    auto session = orvane::SessionManager::create(platform.services(auth),
                                                  orvane::SessionConfig{server.origin(), 1.5});

    int received = -1;  // the first report is the empty answer
    bool finished = false;
    session->onAnswer = [&](const std::string&) {
        if (received >= 0 && received < deltas)
            shown[static_cast<std::size_t>(received)] = Clock::now();
        ++received;
    };
    session->onStateChanged = [&](orvane::SessionManager::State state) {
        finished = state != orvane::SessionManager::State::processing;
    };
    session->sendToLLM("benchmark question");
    mainQueue.runUntil([&] { return finished; }, 120);
    if (received < deltas) {
        std::fprintf(stderr, "only %d of %d deltas arrived\n", received, deltas);
        return 1;
    }

    std::vector<double> micros;
    for (int i = 0; i < deltas; ++i) {
        const auto k = static_cast<std::size_t>(i);
        micros.push_back(std::chrono::duration<double, std::micro>(shown[k] - sent[k]).count());
    }
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double q) {
        return micros[static_cast<std::size_t>(q * (micros.size() - 1))];
    };
    std::printf("deltas %d  median %.1f us  p99 %.1f us  max %.1f us\n", deltas, at(0.5), at(0.99),
                micros.back());
    return 0;
}
