// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
//
// How long whisper.cpp takes to hear a 6 s question again, at the shapes of tiny.en and base.en,
// on this machine's cores. The weights are random (written here in the real format); the work
// does not depend on their values, only on the shape and on how many tokens are decoded, which
// the transcriber caps at what a 6 s question needs. The second pass has the silence before a
// question is sent, 1.5 s less the 0.4 s it waits, to finish.
//
//   second_pass_bench [RUNS]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "adapters/whisper/WhisperTranscriber.h"

namespace {

using namespace orvane;

// 6 s at 48 kHz: a voice-like signal (a rising and falling tone with noise), so that the mel
// spectrum is not empty.
AudioBuffer utterance() {
    AudioBuffer audio{48000, 1, std::vector<float>(6 * 48000)};
    std::mt19937 random(3);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    for (std::size_t i = 0; i < audio.samples.size(); ++i) {
        const double t = static_cast<double>(i) / 48000;
        const double pitch = 140 + 40 * std::sin(2 * M_PI * 0.7 * t);
        audio.samples[i] = static_cast<float>(0.3 * std::sin(2 * M_PI * pitch * t) *
                                              (0.6 + 0.4 * std::sin(2 * M_PI * 3 * t))) +
                           noise(random);
    }
    return audio;
}

void measure(const std::string& size, const WhisperDimensions& dimensions, int runs) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("orvane-bench-" + size + "-" + std::to_string(::getpid()) + ".bin");
    if (!writeRandomWhisperModel(path.string(), dimensions, 11)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    const auto audio = utterance();
    for (const bool fit : {true, false}) {
        WhisperTranscriber::Settings settings;
        settings.fitWindowToUtterance = fit;
        const auto started = std::chrono::steady_clock::now();
        auto loaded = WhisperTranscriber::load(path.string(), settings);
        const auto loadMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count();
        if (!loaded.transcriber) {
            std::fprintf(stderr, "%s\n", loaded.problem.c_str());
            std::exit(1);
        }
        loaded.transcriber->transcribeNow(audio, "");  // warm
        std::vector<double> ms;
        std::size_t words = 0;
        for (int run = 0; run < runs; ++run) {
            const auto start = std::chrono::steady_clock::now();
            const auto outcome = loaded.transcriber->transcribeNow(
                audio, "Interview terms: Postgres, Kubernetes, Acme.");
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
            words = outcome.text ? static_cast<std::size_t>(std::count(outcome.text->begin(),
                                                                       outcome.text->end(), ' ')) +
                                       1
                                 : 0;
        }
        std::sort(ms.begin(), ms.end());
        std::printf(
            "%-8s %-22s load %6.0f ms  re-decode 6 s: median %6.0f ms  max %6.0f ms  "
            "(%zu tokens decoded, %u threads)\n",
            size.c_str(), fit ? "window fitted (7 s)" : "whole 30 s window", loadMs,
            ms[ms.size() / 2], ms.back(), words,
            std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    }
    std::filesystem::remove(path);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    measure("tiny.en", WhisperDimensions::tinyEnglish(), runs);
    measure("base.en", WhisperDimensions::baseEnglish(), runs);
    return 0;
}
