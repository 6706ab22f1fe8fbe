// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
//
// Hearing with whisper.cpp alone, as the app does once a model is installed: each utterance of a
// speech set (bench/make_speech_set.sh: 0.5 s of the channel around each utterance) is played
// into a StreamingRecognizer in 0.1 s blocks at the pace the sound server hands them over, then
// 2 s of quiet, with WebRTC's voice detector timing it. The model has the shape of tiny.en or
// base.en and random weights (written here in the real format): its words are noise, and it
// decodes as many tokens as the transcriber allows, which real speech seldom needs, so the
// timings are an upper bound. Reported:
//   - the detector: where it heard the speech begin and end, against the set's 0.5 s padding;
//   - the live line's lag: for each moment of speech, the time until a pass that heard it is in;
//   - the end of speech to the last pass's words (the prefetch goes out 0.7 s after the end);
//   - the process's processor use while streaming.
//
//   streaming_bench SET_DIR [tiny|base] [UTTERANCES]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "adapters/webrtc/WebRtcVoiceDetector.h"
#include "adapters/whisper/WhisperTranscriber.h"
#include "capture/StreamingRecognizer.h"
#include "capture/WavFile.h"

namespace {

using namespace orvane;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5)];
}

double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The model, with each pass's start and end written down, in seconds from the utterance's start.
struct TimedTranscriber : UtteranceTranscriber {
    std::shared_ptr<UtteranceTranscriber> model;
    std::mutex mutex;
    Clock::time_point origin;
    struct Pass {
        double began = 0, ended = -1;
    };
    std::vector<Pass> passes;

    double now() const { return std::chrono::duration<double>(Clock::now() - origin).count(); }
    std::string engineName() const override { return model->engineName(); }
    bool hears(const std::string& language) const override { return model->hears(language); }
    std::shared_ptr<TranscriptionJob> transcribe(
        AudioBuffer audio, std::string prompt, std::string language,
        std::function<void(TranscriptionOutcome)> completion) override {
        std::size_t index;
        {
            std::lock_guard lock(mutex);
            index = passes.size();
            passes.push_back({now(), -1});
        }
        return model->transcribe(std::move(audio), std::move(prompt), std::move(language),
                                 [this, index, completion = std::move(completion)](auto outcome) {
                                     {
                                         std::lock_guard lock(mutex);
                                         passes[index].ended = now();
                                     }
                                     completion(std::move(outcome));
                                 });
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SET_DIR [tiny|base] [UTTERANCES]\n", argv[0]);
        return 2;
    }
    const fs::path set = argv[1];
    const std::string shape = argc > 2 ? argv[2] : "tiny";
    const std::size_t count = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 20;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(set))
        if (entry.path().extension() == ".wav") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    // Every n-th, so that each voice and both kinds of sentence are in.
    std::vector<fs::path> chosen;
    const std::size_t every =
        std::max<std::size_t>(1, files.size() / std::max<std::size_t>(count, 1));
    for (std::size_t i = 0; i < files.size() && chosen.size() < count; i += every)
        chosen.push_back(files[i]);

    const auto modelPath = fs::temp_directory_path() / ("orvane-streaming-" + shape + "-" +
                                                        std::to_string(::getpid()) + ".bin");
    const auto dimensions =
        shape == "base" ? WhisperDimensions::baseEnglish() : WhisperDimensions::tinyEnglish();
    if (!writeRandomWhisperModel(modelPath.string(), dimensions, 11)) {
        std::fprintf(stderr, "could not write %s\n", modelPath.c_str());
        return 1;
    }
    WhisperTranscriber::Settings settings;
    settings.threads = 2;
    settings.guards = WhisperGuards::none();
    auto loaded = WhisperTranscriber::load(modelPath.string(), settings);
    fs::remove(modelPath);
    if (!loaded.transcriber) {
        std::fprintf(stderr, "%s\n", loaded.problem.c_str());
        return 1;
    }
    auto timed = std::make_shared<TimedTranscriber>();
    timed->model = std::move(loaded.transcriber);
    StreamingRecognizer recognizer(
        timed, [] { return std::make_unique<WebRtcVoiceDetector>(); }, "en");

    std::vector<double> onsetErrors, endErrors, lags, toFinal;
    int falseStarts = 0, missed = 0;
    double streamedSeconds = 0, processor = 0;
    for (const auto& file : chosen) {
        auto read = readWavFile(file.string());
        auto* audio = std::get_if<AudioBuffer>(&read);
        if (!audio) continue;
        std::vector<float> samples;
        audio->appendMono(samples);
        const double rate = audio->sampleRate;
        const double speechBegins = 0.5;
        const double speechEnds = static_cast<double>(samples.size()) / rate - 0.5;
        samples.resize(samples.size() + static_cast<std::size_t>(2 * rate), 0.0f);

        std::mutex mutex;
        std::vector<double> voicedAt;
        double lastWordsAt = -1;
        double appended = 0;
        {
            std::lock_guard lock(timed->mutex);
            timed->passes.clear();
            timed->origin = Clock::now();
        }
        auto request = recognizer.makeRequest({});
        auto task = recognizer.recognitionTask(request, [&](auto result, auto) {
            if (!result) return;
            std::lock_guard lock(mutex);
            if (result->isTimingOnly)
                voicedAt.push_back(appended);
            else
                lastWordsAt = timed->now();
        });
        const auto block = static_cast<std::size_t>(rate / 10);
        const double startedProcessor = processorSeconds();
        for (std::size_t at = 0; at < samples.size(); at += block) {
            const auto end = std::min(samples.size(), at + block);
            {
                std::lock_guard lock(mutex);
                appended = static_cast<double>(end) / rate;
            }
            request->append(AudioBuffer{rate, 1, {samples.begin() + at, samples.begin() + end}});
            std::this_thread::sleep_until(timed->origin + std::chrono::duration<double>(appended));
        }
        processor += processorSeconds() - startedProcessor;
        streamedSeconds += static_cast<double>(samples.size()) / rate;
        task->cancel();

        std::lock_guard lock(mutex);
        if (voicedAt.empty()) {
            ++missed;
            continue;
        }
        if (voicedAt.front() < speechBegins - 0.2) ++falseStarts;
        onsetErrors.push_back(voicedAt.front() - speechBegins);
        endErrors.push_back(voicedAt.back() - speechEnds);
        if (lastWordsAt >= 0) toFinal.push_back(lastWordsAt - voicedAt.back());
        // A moment of speech is on the line once the first pass that began after it is in.
        std::lock_guard passesLock(timed->mutex);
        for (double t = voicedAt.front(); t <= voicedAt.back(); t += 0.01) {
            for (const auto& pass : timed->passes) {
                if (pass.began >= t && pass.ended >= 0) {
                    lags.push_back(pass.ended - t);
                    break;
                }
            }
        }
        std::printf(
            "%-24s voiced %.2f..%.2f s (speech %.2f..%.2f), passes %zu, last words %.0f "
            "ms after the last voice\n",
            file.filename().c_str(), voicedAt.front(), voicedAt.back(), speechBegins, speechEnds,
            timed->passes.size(), lastWordsAt >= 0 ? 1000 * (lastWordsAt - voicedAt.back()) : NAN);
    }
    std::printf("\n%s.en shape, 2 threads, %zu utterances of %s\n", shape.c_str(), chosen.size(),
                set.filename().c_str());
    std::printf(
        "detector: onset error p50 %+.0f ms p90 %+.0f ms; end error p50 %+.0f ms p90 "
        "%+.0f ms; started early %d, heard nothing %d\n",
        1000 * percentile(onsetErrors, 0.5), 1000 * percentile(onsetErrors, 0.9),
        1000 * percentile(endErrors, 0.5), 1000 * percentile(endErrors, 0.9), falseStarts, missed);
    std::printf("live line lag behind speech: p50 %.0f ms, p90 %.0f ms\n",
                1000 * percentile(lags, 0.5), 1000 * percentile(lags, 0.9));
    std::printf("end of speech to the last pass's words: p50 %.0f ms, p90 %.0f ms, max %.0f ms\n",
                1000 * percentile(toFinal, 0.5), 1000 * percentile(toFinal, 0.9),
                1000 * percentile(toFinal, 1.0));
    std::printf("processor: %.0f %% of a core while streaming\n",
                100 * processor / std::max(streamedSeconds, 1e-9));
    return 0;
}
