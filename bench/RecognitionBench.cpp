// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// Word error rate, real-time factor, end-of-speech latency and peak memory of the on-device
// recogniser, through the same speech service the app uses, on a set of spoken questions made by
// bench/make_speech_set.sh.
//   recognition_bench DIR [-flag value]...   (flags override the decoder's tuning)

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "adapters/pocketsphinx/PocketSphinxSpeech.h"
#include "capture/WavFile.h"
#include "session/SessionManager.h"

using Clock = std::chrono::steady_clock;

namespace {

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::string word;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '\'') {
            word += static_cast<char>(std::tolower(c));
        } else if (!word.empty()) {
            out.push_back(word);
            word.clear();
        }
    }
    if (!word.empty()) out.push_back(word);
    return out;
}

std::size_t editDistance(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const auto above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: recognition_bench DIR [-flag value]...\n");
        return 2;
    }
    const std::string dir = argv[1];
    orvane::PocketSphinxDecoder::Tuning tuning = orvane::PocketSphinxDecoder::defaultTuning();
    for (int i = 2; i + 1 < argc; i += 2) {
        auto it =
            std::find_if(tuning.begin(), tuning.end(), [&](auto& p) { return p.first == argv[i]; });
        if (it != tuning.end())
            it->second = argv[i + 1];
        else
            tuning.emplace_back(argv[i], argv[i + 1]);
    }
    orvane::PocketSphinxSpeechService speech(orvane::SpeechModelPaths::find(), tuning);
    auto recognizer = speech.recognizer("en-US");
    if (!recognizer) {
        std::fprintf(stderr, "no recogniser: the speech model is missing\n");
        return 1;
    }

    std::ifstream list(dir + "/transcripts.txt");
    std::size_t errors = 0, referenceWords = 0;
    std::map<std::string, std::pair<std::size_t, std::size_t>> byVoice;  // errors, words
    double audioSeconds = 0, decodeSeconds = 0;
    std::vector<double> latencies;
    for (std::string line; std::getline(list, line);) {
        const auto tab = line.find('\t');
        const auto name = line.substr(0, tab);
        const auto reference = line.substr(tab + 1);
        auto loaded = orvane::readWavFile(dir + "/" + name + ".wav");
        auto& audio = std::get<orvane::AudioBuffer>(loaded);

        std::mutex mutex;
        std::condition_variable done;
        std::optional<std::string> finalText;
        Clock::time_point finalAt;
        auto request =
            recognizer->makeRequest({true, orvane::SessionManager::contextualStrings(), {}});
        auto task = recognizer->recognitionTask(
            request, [&](std::optional<orvane::SpeechRecognitionResult> result,
                         std::optional<orvane::SpeechRecognitionError>) {
                if (!result || !result->isFinal) return;
                std::lock_guard lock(mutex);
                finalText = result->formattedString;
                finalAt = Clock::now();
                done.notify_all();
            });
        const auto start = Clock::now();
        const std::size_t block = static_cast<std::size_t>(audio.sampleRate / 10);
        for (std::size_t at = 0; at < audio.frameCount(); at += block) {
            const auto end = std::min(audio.frameCount(), at + block);
            request->append({audio.sampleRate, audio.channels,
                             std::vector<float>(
                                 audio.samples.begin() + static_cast<long>(at * audio.channels),
                                 audio.samples.begin() + static_cast<long>(end * audio.channels))});
        }
        speech.waitUntilIdle(60);
        const auto endOfAudio = Clock::now();
        request->endAudio();
        std::unique_lock lock(mutex);
        done.wait_for(lock, std::chrono::seconds(30), [&] { return finalText.has_value(); });
        const double seconds = static_cast<double>(audio.frameCount()) / audio.sampleRate;
        audioSeconds += seconds;
        decodeSeconds += std::chrono::duration<double>(endOfAudio - start).count();
        latencies.push_back(
            std::chrono::duration<double, std::milli>(finalAt - endOfAudio).count());
        const auto ref = words(reference);
        const auto hyp = words(finalText.value_or(""));
        const auto wrong = editDistance(ref, hyp);
        errors += wrong;
        referenceWords += ref.size();
        // Each voice speaks the 20 questions in turn: q01…q20 (or q001…q020) are the first's.
        const auto number = std::stoi(name.substr(1));
        auto& voice = byVoice["voice " + std::to_string((number - 1) / 20 + 1)];
        voice.first += wrong;
        voice.second += ref.size();
        std::printf("%s  %-60s | %s\n", name.c_str(), reference.c_str(),
                    finalText.value_or("").c_str());
    }
    std::sort(latencies.begin(), latencies.end());
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "\nutterances %zu  WER %.1f %%  RTF %.3f  final-result latency median %.0f ms "
        "max %.0f ms  peak RSS %ld MiB\n",
        latencies.size(), 100.0 * static_cast<double>(errors) / static_cast<double>(referenceWords),
        decodeSeconds / audioSeconds, latencies[latencies.size() / 2], latencies.back(),
        usage.ru_maxrss / 1024);
    for (const auto& [voice, counts] : byVoice) {
        std::printf("  %s: WER %.1f %%\n", voice.c_str(),
                    100.0 * static_cast<double>(counts.first) / static_cast<double>(counts.second));
    }
    return 0;
}
