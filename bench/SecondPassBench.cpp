// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
//
// How long whisper.cpp takes to hear a question again, at the shapes of tiny.en, base.en and
// small.en, with two threads. The weights are random (written here in the real format); the work
// does not depend on their values, only on the shape, on how much audio it is given and on how
// many tokens are decoded, which the transcriber caps at what the audio can hold. The second pass
// has the silence before a question is sent, 1.5 s less the 0.4 s it waits, to finish.
//
// Two questions: one of 6 s heard on its own, and one of 3 s after 20 s of quiet, given to the
// second pass as the app gives it (through TwoPassRecognizer, which hears from where the speech
// began) and whole, quiet and all (as the app did before it looked for the speech).
//
//   second_pass_bench [RUNS]
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
#include <vector>

#include "adapters/whisper/WhisperTranscriber.h"
#include "capture/TwoPassRecognizer.h"

namespace {

using namespace orvane;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 48000;

// A voice-like signal (a rising and falling tone with noise), so that the mel spectrum is not
// empty; silence is a faint hiss.
std::vector<float> voice(double seconds, unsigned seed) {
    std::vector<float> samples(static_cast<std::size_t>(seconds * kRate));
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double pitch = 140 + 40 * std::sin(2 * M_PI * 0.7 * t);
        samples[i] = static_cast<float>(0.3 * std::sin(2 * M_PI * pitch * t) *
                                        (0.6 + 0.4 * std::sin(2 * M_PI * 3 * t))) +
                     noise(random);
    }
    return samples;
}

std::vector<float> quiet(double seconds) {
    std::vector<float> samples(static_cast<std::size_t>(seconds * kRate));
    std::mt19937 random(5);
    std::normal_distribution<float> hiss(0.0f, 0.002f);
    for (auto& sample : samples) sample = hiss(random);
    return samples;
}

// The live recogniser's part, played by the bench: it reports the words it is told to.
struct StandInFirstPass : SpeechRecognizer {
    struct Request : SpeechRecognitionRequest {
        void append(const AudioBuffer&) override {}
        void endAudio() override {}
    };
    struct Task : SpeechRecognitionTask {
        void cancel() override {}
    };
    RecognitionHandler handler;
    bool isAvailable() const override { return true; }
    std::shared_ptr<SpeechRecognitionRequest> makeRequest(RecognitionOptions) override {
        return std::make_shared<Request>();
    }
    std::shared_ptr<SpeechRecognitionTask> recognitionTask(
        std::shared_ptr<SpeechRecognitionRequest>, RecognitionHandler handle) override {
        handler = std::move(handle);
        return std::make_shared<Task>();
    }
    void say(const std::string& words) { handler(SpeechRecognitionResult{words, false}, {}); }
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// From the moment the second pass is due (0.4 s into the pause) to its revision.
double throughTheApp(const std::shared_ptr<UtteranceTranscriber>& whisper) {
    auto first = std::make_shared<StandInFirstPass>();
    TwoPassRecognizer recognizer(first, whisper);
    std::mutex mutex;
    std::condition_variable revised;
    std::optional<Clock::time_point> revisedAt;
    auto request = recognizer.makeRequest({true, {}, {"Postgres", "Kubernetes", "Acme"}});
    auto task = recognizer.recognitionTask(request, [&](auto result, auto) {
        if (!result || !result->isRevision) return;
        std::lock_guard lock(mutex);
        revisedAt = Clock::now();
        revised.notify_all();
    });
    const auto feed = [&](const std::vector<float>& samples) {
        for (std::size_t at = 0; at < samples.size(); at += kRate / 10) {
            const auto end = std::min(samples.size(), at + kRate / 10);
            request->append(AudioBuffer{kRate, 1, {samples.begin() + at, samples.begin() + end}});
        }
    };
    feed(quiet(20));
    feed(voice(0.5, 3));
    first->say("Tell me about");
    feed(voice(2.5, 4));
    first->say("Tell me about a time you failed");
    const auto due = Clock::now();
    feed(quiet(0.4));
    std::unique_lock lock(mutex);
    revised.wait_for(lock, std::chrono::seconds(60), [&] { return revisedAt.has_value(); });
    return revisedAt ? std::chrono::duration<double, std::milli>(*revisedAt - due).count() : -1;
}

void measure(const std::string& size, const WhisperDimensions& dimensions, int runs) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("orvane-bench-" + size + "-" + std::to_string(::getpid()) + ".bin");
    if (!writeRandomWhisperModel(path.string(), dimensions, 11)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    WhisperTranscriber::Settings settings;
    settings.threads = 2;
    settings.guards = WhisperGuards::none();  // random weights: count what they decode
    const auto started = Clock::now();
    auto loaded = WhisperTranscriber::load(path.string(), settings);
    const auto loadMs = msSince(started);
    if (!loaded.transcriber) {
        std::fprintf(stderr, "%s\n", loaded.problem.c_str());
        std::exit(1);
    }
    std::shared_ptr<WhisperTranscriber> whisper = std::move(loaded.transcriber);
    const AudioBuffer sixSeconds{kRate, 1, voice(6, 3)};
    auto afterQuiet = quiet(20);
    for (auto piece : {voice(0.5, 3), voice(2.5, 4), quiet(0.4)})
        afterQuiet.insert(afterQuiet.end(), piece.begin(), piece.end());
    const AudioBuffer wholeBuffer{kRate, 1, afterQuiet};

    whisper->transcribeNow(sixSeconds, "");  // warm
    std::vector<double> alone, whole, trimmed;
    for (int run = 0; run < runs; ++run) {
        auto start = Clock::now();
        whisper->transcribeNow(sixSeconds, "Interview terms: Postgres, Kubernetes, Acme.");
        alone.push_back(msSince(start));
        start = Clock::now();
        whisper->transcribeNow(wholeBuffer, "Interview terms: Postgres, Kubernetes, Acme.");
        whole.push_back(msSince(start));
        trimmed.push_back(throughTheApp(whisper));
    }
    std::printf(
        "%-8s load %5.0f ms | 6 s question: %5.0f ms | 3 s question after 20 s of quiet: "
        "given whole %5.0f ms, from the speech %5.0f ms  (medians of %d, 2 threads)\n",
        size.c_str(), loadMs, median(alone), median(whole), median(trimmed), runs);
    std::filesystem::remove(path);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    measure("tiny.en", WhisperDimensions::tinyEnglish(), runs);
    measure("base.en", WhisperDimensions::baseEnglish(), runs);
    measure("small.en", WhisperDimensions::smallEnglish(), runs);
    return 0;
}
