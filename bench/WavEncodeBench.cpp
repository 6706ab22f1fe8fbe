// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// Writing an utterance at the sound card's 48 kHz as the 16 kHz WAV a transcription server is
// sent. It runs on the hearing thread as the second pass starts, so it must stay a small part of
// the 0.3 s between that start and the question going out.

#include <benchmark/benchmark.h>

#include <cmath>

#include "capture/WavFile.h"

namespace {

void utteranceAt16kHz(benchmark::State& state) {
    orvane::AudioBuffer audio{48000, 1, std::vector<float>(48000 * state.range(0))};
    for (std::size_t i = 0; i < audio.samples.size(); ++i)
        audio.samples[i] = 0.3f * static_cast<float>(std::sin(static_cast<double>(i) * 0.05));
    for (auto _ : state) benchmark::DoNotOptimize(orvane::wavBytes(audio, 16000));
    state.SetLabel(std::to_string(state.range(0)) + " s of speech");
}
BENCHMARK(utteranceAt16kHz)->Arg(5)->Arg(30)->Unit(benchmark::kMillisecond);

}  // namespace
