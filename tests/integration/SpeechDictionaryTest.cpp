// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>

#include "adapters/pocketsphinx/PocketSphinxDecoder.h"
#include "adapters/pocketsphinx/PocketSphinxSpeech.h"
#include "integration/ProcessRun.h"

namespace orvane::testing {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

std::size_t lineCount(const std::string& path) {
    std::ifstream in(path);
    return static_cast<std::size_t>(std::count(std::istreambuf_iterator<char>(in), {}, '\n'));
}

class SpeechDictionary : public ::testing::Test {
protected:
    void SetUp() override {
        if (!paths.exist()) GTEST_SKIP() << "speech model not installed";
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // The text spoken by espeak-ng, 16 kHz mono as the decoder is fed.
    std::vector<std::int16_t> spoken(const std::string& text) {
        const auto raw = (dir / "speech.raw").string();
        const auto made = runProcess("espeak-ng -v en-us -s 150 -w " + (dir / "s.wav").string() +
                                     " '" + text + "' && sox -D " + (dir / "s.wav").string() +
                                     " -r 16000 -c 1 -b 16 -e signed-integer " + raw);
        EXPECT_EQ(made.exitCode, 0) << made.output;
        std::ifstream in(raw, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::vector<std::int16_t> samples(bytes.size() / 2);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
        return samples;
    }

    // What a decoder hears in the spoken text the second time: as in the app, where decoders are
    // kept warm, not what a fresh one makes of its first sentence.
    std::string heard(const SpeechModelPaths& with, const std::string& text,
                      const std::vector<std::string>& terms = {},
                      std::vector<std::string>* spellings = nullptr,
                      std::shared_ptr<PocketSphinxDecoder::LanguageModels>* shared = nullptr) {
        const auto samples = spoken(text);
        auto decoder =
            PocketSphinxDecoder::load(with, PocketSphinxDecoder::defaultTuning(), terms, shared);
        if (!decoder) {
            ADD_FAILURE() << "the decoder did not load with " << with.dictionary;
            return {};
        }
        for (int time = 0; time < 2; ++time) {
            decoder->startUtterance();
            for (std::size_t at = 0; at < samples.size(); at += 1600) {
                decoder->process(samples.data() + at,
                                 std::min<std::size_t>(1600, samples.size() - at));
            }
            decoder->endUtterance();
        }
        if (spellings) *spellings = decoder->termSpellings();
        return decoder->hypothesis();
    }

    SpeechModelPaths paths = SpeechModelPaths::find();
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("orvane-dictionary-" + std::to_string(::getpid()));
};

TEST_F(SpeechDictionary, TheModelsWordsAreKeptWithAllTheirPronunciations) {
    // Of the first model only its most likely word; of the second every word.
    const auto general = (dir / "general.arpa").string();
    std::ofstream(general) << "\\data\\\nngram 1=5\n\n\\1-grams:\n-99 <s> 0\n-1.0 </s>\n"
                              "-0.3 read\n-1.5 thread\n-1.6 queue\n\n\\end\\\n";
    const auto interview = (dir / "interview.arpa").string();
    std::ofstream(interview) << "\\data\\\nngram 1=4\n\n\\1-grams:\n-99 <s> 0\n-1.0 </s>\n"
                                "-0.5 process\n-0.5 notaword\n\n\\end\\\n";
    const auto out = (dir / "cut.dict").string();
    const auto full =
        std::filesystem::path(paths.generalModel).parent_path() / "cmudict-en-us.dict";
    const auto run = runProcess(std::string(ORVANE_SPEECH_DICTIONARY_PATH) + " " + full.string() +
                                " " + out + " " + general + ":1 " + interview);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::ifstream in(out);
    std::vector<std::string> words;
    for (std::string line; std::getline(in, line);) words.push_back(line.substr(0, line.find(' ')));
    EXPECT_EQ(words, (std::vector<std::string>{"process", "process(2)", "read", "read(2)"}))
        << "read is the first model's most likely word";
}

TEST_F(SpeechDictionary, TheBuiltDictionaryIsTheOneUsedAndItHears) {
    ASSERT_THAT(paths.dictionary, HasSubstr("dictionary.dict"));
    const auto full =
        std::filesystem::path(paths.generalModel).parent_path() / "cmudict-en-us.dict";
    EXPECT_LT(lineCount(paths.dictionary), lineCount(full.string()) * 2 / 3);
    const auto said = heard(paths, "What is your greatest weakness");
    EXPECT_EQ(said, "what is your greatest weakness");
}

TEST_F(SpeechDictionary, AnInterviewsOwnWordsAreHeardOnlyWithThem) {
    // A name in no dictionary, heard as the words it is made of; another said as its parts sound;
    // capitals said letter by letter.
    for (const auto& [text, term] : std::vector<std::pair<std::string, std::string>>{
             {"Why do you want to work at Datadog", "datadog"},
             {"Tell me about your work with Grafana dashboards", "grafana"},
             {"Have you deployed services on GCP", "gcp"}}) {
        const auto without = heard(paths, text);
        EXPECT_THAT(without, Not(HasSubstr(term)));
        std::vector<std::string> spellings;
        const auto with =
            heard(paths, text, {"Datadog", "Grafana", "GCP", "Staff Engineer"}, &spellings);
        EXPECT_THAT(with, HasSubstr(term));
        EXPECT_EQ(spellings, (std::vector<std::string>{"Datadog", "Grafana", "GCP"}));
    }
    EXPECT_EQ(heard(paths, "What is your greatest weakness", {"Datadog", "Grafana", "GCP"}),
              "what is your greatest weakness")
        << "the interview's words do not crowd out the rest";
}

// The models are read once and outlive the decoder that read them; the ones sharing them hear as
// one with models of its own.
TEST_F(SpeechDictionary, DecodersSharingTheModelsHearAsOneAlone) {
    std::shared_ptr<PocketSphinxDecoder::LanguageModels> shared;
    auto first =
        PocketSphinxDecoder::load(paths, PocketSphinxDecoder::defaultTuning(), {}, &shared);
    ASSERT_TRUE(first && shared);
    const auto read = shared;
    first.reset();
    const std::string text = "Why do you want to work at Datadog";
    EXPECT_EQ(heard(paths, text, {"Datadog"}, nullptr, &shared), heard(paths, text, {"Datadog"}));
    EXPECT_EQ(shared, read);
}

TEST_F(SpeechDictionary, TheServiceHearsTheInterviewsWordsAndSpellsThemAsWritten) {
    PocketSphinxSpeechService service(paths);
    auto recognizer = service.recognizer("en-US");
    ASSERT_TRUE(recognizer);
    const auto recognised = [&](const std::string& text, const std::vector<std::string>& hints,
                                const std::vector<std::string>& terms) {
        const auto samples = spoken(text);
        std::promise<std::string> heard;
        auto request = recognizer->makeRequest({true, hints, terms});
        auto task = recognizer->recognitionTask(request, [&](auto result, auto error) {
            if (error) heard.set_value("error: " + error->message);
            if (result && result->isFinal) heard.set_value(result->formattedString);
        });
        for (std::size_t at = 0; at < samples.size(); at += 1600) {
            AudioBuffer block{16000, 1, {}};
            for (std::size_t i = at; i < std::min(samples.size(), at + 1600); ++i) {
                block.samples.push_back(static_cast<float>(samples[i]) / 32768.0f);
            }
            request->append(block);
        }
        request->endAudio();
        auto future = heard.get_future();
        EXPECT_EQ(future.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        return future.get();
    };
    // The first recognition warms the decoder; the second, without words of its own as
    // push-to-talk's are, hears with the interview's.
    recognised("Why do you want to work at Datadog", {}, {"Datadog"});
    // Let go of while another engine heard, the decoders come back with the interview's words.
    service.letGoOfIdleDecoders();
    EXPECT_THAT(recognised("Why do you want to work at Datadog", {}, {}), HasSubstr("Datadog"));
    // A hint that is also ordinary English is not spelt as the hint.
    EXPECT_THAT(recognised("Where do you want to go next", {"Go", "GraphQL"}, {}),
                AllOf(HasSubstr(" go "), Not(HasSubstr("Go"))));
}

TEST_F(SpeechDictionary, AModelThatCannotBeReadWritesNoDictionary) {
    const auto out = (dir / "out.dict").string();
    const auto run =
        runProcess(std::string(ORVANE_SPEECH_DICTIONARY_PATH) + " " + paths.dictionary + " " + out +
                   " " + (dir / "missing.arpa").string());
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_THAT(run.output, HasSubstr("cannot read the language model"));
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(runProcess(std::string(ORVANE_SPEECH_DICTIONARY_PATH)).exitCode, 2);

    // A model in a place that cannot be looked at is missing, not a reason to end the program.
    std::filesystem::create_directory_symlink("loop", dir / "loop");
    SpeechModelPaths unreachable = paths;
    unreachable.domainModel = (dir / "loop" / "domain.arpa").string();
    EXPECT_FALSE(unreachable.exist());
}

}  // namespace
}  // namespace orvane::testing
