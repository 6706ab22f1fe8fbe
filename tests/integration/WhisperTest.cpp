// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>

#include "adapters/webrtc/WebRtcVoiceDetector.h"
#include "adapters/whisper/WhisperModelFile.h"
#include "adapters/whisper/WhisperTranscriber.h"
#include "capture/StreamingRecognizer.h"
#include "capture/WavFile.h"
#include "integration/ProcessRun.h"
#include "protocol/Utf8.h"

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Each test's own directory, with a random-weight model of the test size in it.
class Whisper : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir);
        ASSERT_TRUE(writeRandomWhisperModel(model, WhisperDimensions::testSized(), 7));
    }
    void TearDown() override { fs::remove_all(dir); }

    // Spoken by espeak-ng at 48 kHz, as the sound server hands it over.
    AudioBuffer spoken(const std::string& text) {
        const auto wav = (dir / "spoken.wav").string();
        const auto made =
            runProcess("espeak-ng -v en-us -s 150 -w " + (dir / "s.wav").string() + " '" + text +
                       "' && sox -D " + (dir / "s.wav").string() + " -r 48000 -c 1 -b 16 " + wav);
        EXPECT_EQ(made.exitCode, 0) << made.output;
        auto read = readWavFile(wav);
        if (auto* audio = std::get_if<AudioBuffer>(&read)) return *audio;
        ADD_FAILURE() << std::get<std::string>(read);
        return {};
    }
    std::string copyCutAt(std::uintmax_t bytes) {
        const auto cut = (dir / "cut.bin").string();
        fs::copy_file(model, cut, fs::copy_options::overwrite_existing);
        fs::resize_file(cut, bytes);
        return cut;
    }

    fs::path dir = fs::temp_directory_path() / ("orvane-whisper-" + std::to_string(::getpid()));
    std::string model = (dir / "ggml-test.bin").string();
};

// A generated model passes the file check with its shape; damaged files are refused, and not
// loaded, with a reason.
TEST_F(Whisper, AGeneratedModelPassesTheFileCheckAndDamagedFilesAreRefusedWithAReason) {
    const auto check = checkWhisperModel(model);
    ASSERT_TRUE(check) << check.problem;
    EXPECT_EQ(check.dimensions->audioState, 64);
    EXPECT_EQ(check.dimensions->textLayers, 1);
    EXPECT_EQ(WhisperDimensions::tinyEnglish().sizeName(), "tiny.en");
    EXPECT_EQ(WhisperDimensions::baseEnglish().sizeName(), "base.en");
    EXPECT_EQ(WhisperDimensions::testSized().sizeName(), "unknown size");
    const auto size = fs::file_size(model);
    EXPECT_THAT(checkWhisperModel(copyCutAt(size - 1)).problem,
                HasSubstr("cut short inside the tensor"));
    EXPECT_THAT(checkWhisperModel(copyCutAt(size / 2)).problem, HasSubstr("may not have finished"));
    // Header, filters and vocabulary but not one tensor: whisper.cpp itself would take it.
    const auto headerOnly = checkWhisperModel(copyCutAt(4 + 11 * 4 + 8 + 80 * 201 * 4 + 4));
    EXPECT_FALSE(headerOnly);
    {
        std::ofstream out(dir / "text.bin");
        out << "<html>404 Not Found</html>";
    }
    EXPECT_THAT(checkWhisperModel((dir / "text.bin").string()).problem,
                HasSubstr("is not a Whisper model"));
    EXPECT_EQ(checkWhisperModel((dir / "absent.bin").string()).problem,
              "Cannot read " + (dir / "absent.bin").string() + ".");
    EXPECT_FALSE(WhisperTranscriber::load((dir / "absent.bin").string()).transcriber);
    const auto third = copyCutAt(size / 3);
    const auto loaded = WhisperTranscriber::load(third);
    EXPECT_FALSE(loaded.transcriber);
    EXPECT_THAT(loaded.problem, HasSubstr(third + " is cut short"));
    // Headers that whisper.cpp aborts on or overflows its buffers with (a file type it has no
    // format for, one whose rows Whisper's shapes do not fit, or 32-bit floats; text or audio
    // contexts, layers or heads no real model has), and a tensor stored in another format than
    // its file type says.
    struct Forgery {
        std::streamoff offset;
        std::int32_t value;
        const char* problem;
    };
    const auto header = [](int field) { return std::streamoff{4 + 4 * field}; };
    // The first tensor (two dimensions) has its type just before its two extents and its name.
    std::ifstream whole(model, std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(whole), {});
    const auto firstTensorType =
        static_cast<std::streamoff>(bytes.find("encoder.positional_embedding")) - 12;
    for (const auto& forgery : {Forgery{header(10), 99, "a header no Whisper model has"},
                                Forgery{header(10), 12, "a header no Whisper model has"},
                                Forgery{header(5), 1, "a header no Whisper model has"},
                                Forgery{header(5), 2, "a header no Whisper model has"},
                                Forgery{header(1), 1400, "a header no Whisper model has"},
                                Forgery{header(10), 0, "a header no Whisper model has"},
                                Forgery{header(8), 64, "a header no Whisper model has"},
                                Forgery{header(3), 32, "a header no Whisper model has"},
                                Forgery{firstTensorType, 1, "in a number format"}}) {
        fs::copy_file(model, dir / "forged.bin", fs::copy_options::overwrite_existing);
        std::fstream file(dir / "forged.bin", std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(forgery.offset);
        file.write(reinterpret_cast<const char*>(&forgery.value), 4);
        file.close();
        EXPECT_THAT(checkWhisperModel((dir / "forged.bin").string()).problem,
                    HasSubstr(forgery.problem))
            << forgery.offset << " = " << forgery.value;
    }
}

TEST_F(Whisper, ALoadedModelTranscribesOnItsOwnThreadAndStopsWhenTold) {
    auto loaded = WhisperTranscriber::load(model);
    ASSERT_TRUE(loaded.transcriber) << loaded.problem;
    EXPECT_EQ(loaded.transcriber->engineName(), "Whisper (ggml-test.bin)");
    std::promise<std::pair<TranscriptionOutcome, std::string>> done;
    loaded.transcriber->transcribe(spoken("What is a hash map"), "Interview terms: Postgres.", "en",
                                   [&done](TranscriptionOutcome outcome) {
                                       char name[32] = {};
                                       pthread_getname_np(pthread_self(), name, sizeof name);
                                       done.set_value({std::move(outcome), name});
                                   });
    auto future = done.get_future();
    ASSERT_EQ(future.wait_for(60s), std::future_status::ready);
    const auto [outcome, thread] = future.get();
    EXPECT_EQ(thread, "orvane-whisper");
    ASSERT_TRUE(outcome.text) << outcome.error.value_or("");
    // Random weights hear noise; what comes back must still be text fit to send.
    EXPECT_TRUE(utf8::isValid(*outcome.text));
    EXPECT_FALSE(outcome.error);

    // Cancelled jobs never complete and the next one runs; a stop flag aborts one under way.
    const auto audio = spoken("Tell me about yourself");
    std::atomic<int> cancelledCompletions{0};
    auto first =
        loaded.transcriber->transcribe(audio, "", "en", [&](auto) { ++cancelledCompletions; });
    auto second =
        loaded.transcriber->transcribe(audio, "", "en", [&](auto) { ++cancelledCompletions; });
    second->cancel();
    first->cancel();
    std::promise<void> third;
    loaded.transcriber->transcribe(audio, "", "en", [&](auto) { third.set_value(); });
    EXPECT_EQ(third.get_future().wait_for(60s), std::future_status::ready);
    EXPECT_EQ(cancelledCompletions, 0);
    std::atomic<bool> stop{true};
    const auto stopped = loaded.transcriber->transcribeNow(audio, "", &stop);
    EXPECT_FALSE(stopped.text);
    EXPECT_EQ(stopped.error, "The transcription was cancelled.");
    EXPECT_TRUE(loaded.transcriber->transcribeNow(AudioBuffer{16000, 1, {}}, "").text)
        << "no audio is nothing heard, not a failure";
}

// An English model hears English alone; a multilingual one each language whisper.cpp names, in
// the language it is told.
TEST_F(Whisper, AMultilingualModelHearsTheLanguagesOfTheMenu) {
    auto english = WhisperTranscriber::load(model);
    ASSERT_TRUE(english.transcriber) << english.problem;
    EXPECT_TRUE(english.transcriber->hears("en"));
    EXPECT_FALSE(english.transcriber->hears("de"));
    auto shape = WhisperDimensions::testSized();
    shape.vocabulary = 51865;
    const auto multilingual = (dir / "ggml-multilingual.bin").string();
    ASSERT_TRUE(writeRandomWhisperModel(multilingual, shape, 7));
    auto loaded = WhisperTranscriber::load(multilingual);
    ASSERT_TRUE(loaded.transcriber) << loaded.problem;
    for (const auto* language : {"en", "de", "fr", "es", "pt", "lb"})
        EXPECT_TRUE(loaded.transcriber->hears(language)) << language;
    EXPECT_FALSE(loaded.transcriber->hears("xx"));
    std::promise<TranscriptionOutcome> done;
    loaded.transcriber->transcribe(
        spoken("Wie funktioniert eine Hashtabelle"), "", "de",
        [&done](TranscriptionOutcome outcome) { done.set_value(std::move(outcome)); });
    auto heard = done.get_future();
    ASSERT_EQ(heard.wait_for(60s), std::future_status::ready);
    EXPECT_FALSE(heard.get().error);
}

// What whisper.cpp decodes is taken only when it is sure of it: never noise, repetition or the
// prompt read back.
struct GuardCase {
    const char* text;
    double averageLogProbability;
    double noSpeechProbability;
    WhisperGuards::Verdict verdict;
};

TEST(WhisperGuardsTable, TakeOnlyWhatWhisperIsSureOf) {
    using V = WhisperGuards::Verdict;
    const std::string prompt = "Interview terms: Acme Robotics, Postgres, C++.";
    for (const auto& c : {
             GuardCase{"What is a hash map?", -0.3, 0.1, V::heard},
             GuardCase{"What is a hash map?", -0.3, 0.9, V::heard},  // sure of its words
             GuardCase{"Why Postgres over MySQL?", -0.4, 0.0, V::heard},
             GuardCase{"", -0.1, 0.0, V::nothing},
             GuardCase{" [BLANK_AUDIO] (music) ", -0.1, 0.0, V::nothing},
             GuardCase{"Thank you.", -1.4, 0.8, V::noSpeech},
             GuardCase{"What is a hash map?", -1.3, 0.1, V::unsure},
             GuardCase{"you you you you you you you you you you you you you you you you", -0.2, 0.0,
                       V::repetitive},
             GuardCase{"Interview terms: Acme Robotics, Postgres.", -0.2, 0.1, V::echoesPrompt},
             GuardCase{"postgres", -0.2, 0.1, V::echoesPrompt},
         }) {
        EXPECT_EQ(
            WhisperGuards{}.judge({c.text, c.averageLogProbability, c.noSpeechProbability}, prompt),
            c.verdict)
            << c.text;
    }
    EXPECT_EQ(WhisperGuards::none().judge({"you you you you you you you you", -5, 0.99}, prompt),
              V::heard);
    EXPECT_LT(compressionRatio("Tell me about a time you disagreed with your manager."), 1.5);
}

TEST_F(Whisper, NoiseSilenceAndALoneWordBecomeNoWords) {
    auto loaded = WhisperTranscriber::load(model);
    ASSERT_TRUE(loaded.transcriber) << loaded.problem;
    AudioBuffer noise{48000, 1, std::vector<float>(3 * 48000)};
    std::mt19937 random(5);
    std::normal_distribution<float> hiss(0.0f, 0.05f);
    for (auto& sample : noise.samples) sample = hiss(random);
    // A model with random weights hears words in anything; sure of none, it gives none.
    for (const auto& audio :
         {noise, AudioBuffer{48000, 1, std::vector<float>(3 * 48000)}, spoken("Hello")}) {
        const auto outcome = loaded.transcriber->transcribeNow(audio, "Interview terms: Postgres.");
        EXPECT_EQ(outcome.text, std::string()) << outcome.error.value_or("");
    }
}

// whisper.cpp hearing everything, timed by WebRTC's detector, on a spoken question after room
// noise and before silence, fed at the pace the sound server hands it over: the speech alone is
// timed, its passes come as it goes on, and the last comes after it ended without the audio
// ending.
TEST_F(Whisper, StreamingHearsTheSpeechAloneAsItGoesAndOnceMoreWhenItEnds) {
    // Random weights hear noise, which the guards would drop: taken here as if it were words.
    WhisperTranscriber::Settings settings;
    settings.guards = WhisperGuards::none();
    auto loaded = WhisperTranscriber::load(model, settings);
    ASSERT_TRUE(loaded.transcriber) << loaded.problem;
    StreamingRecognizer recognizer(
        std::move(loaded.transcriber), [] { return std::make_unique<WebRtcVoiceDetector>(); },
        "en");

    struct Seen {
        bool isTimingOnly;
        double at;  // seconds of audio appended
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Seen> seen;
    double appended = 0;
    auto request = recognizer.makeRequest({true, {}, {"Postgres"}});
    auto task = recognizer.recognitionTask(request, [&](auto result, auto) {
        if (!result) return;
        std::lock_guard lock(mutex);
        seen.push_back({result->isTimingOnly, appended});
        changed.notify_all();
    });
    std::mt19937 random(3);
    std::normal_distribution<float> hiss(0.0f, 0.003f);
    std::vector<float> samples(48000);
    for (auto& sample : samples) sample = hiss(random);
    const auto speech = spoken("What is the difference between a process and a thread");
    samples.insert(samples.end(), speech.samples.begin(), speech.samples.end());
    const double speechEnds = static_cast<double>(samples.size()) / 48000;
    samples.resize(samples.size() + 48000 * 2, 0.0f);
    for (std::size_t at = 0; at < samples.size(); at += 4800) {
        const auto end = std::min(samples.size(), at + 4800);
        request->append(AudioBuffer{48000, 1, {samples.begin() + at, samples.begin() + end}});
        {
            std::lock_guard lock(mutex);
            appended = static_cast<double>(end) / 48000;
        }
        std::this_thread::sleep_for(100ms);
    }
    std::unique_lock lock(mutex);
    // Under ThreadSanitizer on a busy two-core machine a pass has taken more than 10 s.
    changed.wait_for(lock, 30s, [&] { return !seen.empty() && seen.back().at > speechEnds; });
    std::vector<double> timed, passes;
    for (const auto& report : seen) (report.isTimingOnly ? timed : passes).push_back(report.at);
    ASSERT_FALSE(timed.empty()) << "the detector heard no speech";
    EXPECT_GE(timed.front(), 1.0) << "the hiss before it is no speech";
    EXPECT_LE(timed.back(), speechEnds + 0.3) << "nor the silence after it";
    EXPECT_GE(timed.back(), speechEnds - 1.0);
    ASSERT_FALSE(passes.empty());
    EXPECT_GT(passes.back(), timed.back()) << "the last pass comes once the speech ended";
    lock.unlock();
    task->cancel();
}

}  // namespace
}  // namespace orvane::testing
