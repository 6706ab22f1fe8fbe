// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// Word error rate, real-time factor, end-of-speech latency and peak memory of the on-device
// recogniser, through the same speech service the app uses, on a set of spoken questions made by
// bench/make_speech_set.sh. Reported per voice and per kind (interview questions, ordinary
// sentences), with the technical terms the interview bias put into ordinary sentences.
//   recognition_bench DIR [-flag value]...   (flags override the decoder's tuning)

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

#include "adapters/pocketsphinx/PocketSphinxSpeech.h"
#include "capture/WavFile.h"
#include "session/SessionManager.h"
#include "text/Text.h"

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

// The terms the recogniser is told to expect in interviews, each as its words: the hints every
// recognition gets ("linked list", "Go") and the words the interview language model adds to the
// dictionary. A term counts whole: "linked" or "big" alone is ordinary English, "linked list" and
// "big o" are not. A hint that is itself ordinary English ("Go", "REST") is shown as the word.
std::vector<std::vector<std::string>> technicalTerms(const orvane::SpeechModelPaths& paths) {
    std::set<std::vector<std::string>> out;
    for (const auto& term : orvane::SessionManager::contextualStrings()) {
        if (orvane::text::isOrdinaryWord(term)) continue;
        if (auto spoken = words(term); !spoken.empty()) out.insert(std::move(spoken));
    }
    std::ifstream extra(paths.extraWords);
    for (std::string line; std::getline(extra, line);) {
        if (auto word = words(line.substr(0, line.find(' '))); !word.empty()) out.insert(word);
    }
    return {out.begin(), out.end()};
}

bool contains(const std::vector<std::string>& text, const std::vector<std::string>& term) {
    return std::search(text.begin(), text.end(), term.begin(), term.end()) != text.end();
}

struct Tally {
    std::size_t errors = 0, words = 0;
    double percent() const {
        return 100.0 * static_cast<double>(errors) /
               static_cast<double>(std::max<std::size_t>(words, 1));
    }
};

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
    const auto paths = orvane::SpeechModelPaths::find();
    const auto technical = technicalTerms(paths);
    orvane::PocketSphinxSpeechService speech(paths, tuning);
    auto recognizer = speech.recognizer("en-US");
    if (!recognizer) {
        std::fprintf(stderr, "no recogniser: the speech model is missing\n");
        return 1;
    }

    std::ifstream list(dir + "/transcripts.txt");
    Tally all;
    std::map<std::string, Tally> byGroup;
    std::vector<std::string> invented;
    double audioSeconds = 0, decodeSeconds = 0;
    std::vector<double> latencies;
    std::size_t timedOut = 0;
    for (std::string line; std::getline(list, line);) {
        const auto tab = line.find('\t');
        const auto name = line.substr(0, tab);
        const auto reference = line.substr(tab + 1);
        auto loaded = orvane::readWavFile(dir + "/" + name + ".wav");
        auto& audio = std::get<orvane::AudioBuffer>(loaded);

        // Shared with the handler, which outlives this turn when the result is late: a late
        // result must land in its own utterance's record, never in the next one's.
        struct Outcome {
            std::mutex mutex;
            std::condition_variable done;
            std::optional<std::string> finalText;
            Clock::time_point finalAt;
        };
        auto outcome = std::make_shared<Outcome>();
        auto request =
            recognizer->makeRequest({true, orvane::SessionManager::contextualStrings(), {}});
        auto task = recognizer->recognitionTask(
            request, [outcome](std::optional<orvane::SpeechRecognitionResult> result,
                               std::optional<orvane::SpeechRecognitionError>) {
                if (!result || !result->isFinal) return;
                std::lock_guard lock(outcome->mutex);
                outcome->finalText = result->formattedString;
                outcome->finalAt = Clock::now();
                outcome->done.notify_all();
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
        std::unique_lock lock(outcome->mutex);
        if (!outcome->done.wait_for(lock, std::chrono::seconds(30),
                                    [&] { return outcome->finalText.has_value(); })) {
            lock.unlock();
            task->cancel();
            std::printf("%s  no final result within 30 s: left out\n", name.c_str());
            ++timedOut;
            continue;
        }
        const std::string finalText = *outcome->finalText;
        const auto finalAt = outcome->finalAt;
        const double seconds = static_cast<double>(audio.frameCount()) / audio.sampleRate;
        audioSeconds += seconds;
        decodeSeconds += std::chrono::duration<double>(endOfAudio - start).count();
        latencies.push_back(
            std::chrono::duration<double, std::milli>(finalAt - endOfAudio).count());
        const auto ref = words(reference);
        const auto hyp = words(finalText);
        const auto wrong = editDistance(ref, hyp);
        // "v2-s03": the second voice's third ordinary sentence.
        const auto dash = name.find('-');
        const bool ordinary = dash != std::string::npos && name[dash + 1] == 's';
        for (auto* tally : {&all, &byGroup[name.substr(0, dash)],
                            &byGroup[ordinary ? "ordinary sentences" : "interview questions"]}) {
            tally->errors += wrong;
            tally->words += ref.size();
        }
        for (const auto& term : technical) {
            if (ordinary && contains(hyp, term) && !contains(ref, term)) {
                std::string said;
                for (const auto& word : term) said += (said.empty() ? "" : " ") + word;
                invented.push_back(name + ": " + said);
            }
        }
        std::printf("%s  %-60s | %s\n", name.c_str(), reference.c_str(), finalText.c_str());
    }
    if (latencies.empty()) {
        std::fprintf(stderr, "no utterance had a final result\n");
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "\nutterances %zu  WER %.1f %%  RTF %.3f  final-result latency median %.0f ms "
        "max %.0f ms  peak RSS %ld MiB\n",
        latencies.size(), all.percent(), decodeSeconds / audioSeconds,
        latencies[latencies.size() / 2], latencies.back(), usage.ru_maxrss / 1024);
    for (const auto& [group, tally] : byGroup) {
        std::printf("  %s: WER %.1f %%\n", group.c_str(), tally.percent());
    }
    if (timedOut) std::printf("left out, no final result: %zu\n", timedOut);
    std::printf("technical terms invented in ordinary sentences: %zu\n", invented.size());
    for (const auto& word : invented) std::printf("  %s\n", word.c_str());
    return 0;
}
