// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "capture/TwoPassRecognizer.h"

#include <gmock/gmock.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "capture/StreamingRecognizer.h"

#include "fakes/ScriptedSpeech.h"

namespace orvane::testing {
namespace {

// A second pass the test answers by hand.
struct ScriptedTranscriber : UtteranceTranscriber {
    struct Job : TranscriptionJob {
        AudioBuffer audio;
        std::string prompt;
        std::string language;
        std::function<void(TranscriptionOutcome)> completion;
        bool cancelled = false;
        void cancel() override { cancelled = true; }
        void finish(TranscriptionOutcome outcome) {
            if (!cancelled) completion(std::move(outcome));
        }
    };
    std::vector<std::shared_ptr<Job>> jobs;
    std::vector<std::string> languages{"en"};

    std::string name = "Whisper (test.bin)";
    std::string engineName() const override { return name; }
    bool hears(const std::string& language) const override {
        return std::find(languages.begin(), languages.end(), language) != languages.end();
    }
    std::shared_ptr<TranscriptionJob> transcribe(
        AudioBuffer audio, std::string prompt, std::string language,
        std::function<void(TranscriptionOutcome)> completion) override {
        auto job = std::make_shared<Job>();
        job->audio = std::move(audio);
        job->prompt = std::move(prompt);
        job->language = std::move(language);
        job->completion = std::move(completion);
        jobs.push_back(job);
        return job;
    }
};

// Speech, to this detector, is anything louder than a whisper.
struct LevelDetector : VoiceActivityDetector {
    bool hearsVoice(const AudioBuffer& block) override {
        return std::any_of(block.samples.begin(), block.samples.end(),
                           [](float sample) { return std::fabs(sample) > 0.05f; });
    }
};
VoiceActivityDetectors levelDetectors() {
    return [] { return std::make_unique<LevelDetector>(); };
}

struct Report {
    std::string text;
    bool isFinal = false;
    bool isRevision = false;
    bool isTimingOnly = false;
    std::optional<SpeechRecognitionError::Kind> error;
};

class TwoPass : public ::testing::Test {
protected:
    std::shared_ptr<ScriptedRecognizer> first = std::make_shared<ScriptedRecognizer>();
    std::shared_ptr<ScriptedTranscriber> second = std::make_shared<ScriptedTranscriber>();
    std::shared_ptr<SpeechRecognizer> recognizer =
        std::make_shared<TwoPassRecognizer>(first, second);
    std::shared_ptr<SpeechRecognitionRequest> request;
    std::shared_ptr<SpeechRecognitionTask> task;
    std::vector<Report> reports;

    void start(RecognitionOptions options = {}) {
        request = recognizer->makeRequest(std::move(options));
        task = recognizer->recognitionTask(request, [this](auto result, auto error) {
            Report report;
            if (result) {
                report = {result->formattedString,
                          result->isFinal,
                          result->isRevision,
                          result->isTimingOnly,
                          {}};
            }
            if (error) report.error = error->kind;
            reports.push_back(report);
        });
    }
    // Stereo blocks of 0.1 s at 48 kHz, one channel at `level`, the other silent.
    void hear(double seconds, float level = 0.2f) {
        for (int n = 0; n < static_cast<int>(seconds * 10 + 0.5); ++n) {
            AudioBuffer block{48000, 2, std::vector<float>(9600, 0.0f)};
            for (std::size_t i = 0; i < block.samples.size(); i += 2) block.samples[i] = level;
            request->append(block);
        }
    }
    ScriptedTask& firstTask() { return *first->lastTask(); }
};

TEST_F(TwoPass, TheFirstPassIsHeardLiveAndTheSecondReplacesItOnceTheWordsStop) {
    start();
    hear(0.5);
    firstTask().deliver("What is a hash");
    hear(0.3);
    EXPECT_TRUE(second->jobs.empty()) << "no second pass during a short pause";
    hear(0.1);
    ASSERT_EQ(second->jobs.size(), 1u);
    const auto& heard = second->jobs[0]->audio;
    EXPECT_EQ(heard.channels, 1);
    EXPECT_EQ(heard.sampleRate, 48000);
    EXPECT_EQ(heard.samples.size(), 9u * 4800) << "all 0.9 s the first pass heard, mixed to mono";
    EXPECT_FLOAT_EQ(heard.samples.front(), 0.1f) << "the channels averaged";
    hear(0.5);
    EXPECT_EQ(second->jobs.size(), 1u) << "one second pass per change of words";

    second->jobs[0]->finish({std::string(" What is a hash map? "), std::nullopt});
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].text, "What is a hash");
    EXPECT_FALSE(reports[0].isRevision);
    EXPECT_EQ(reports[1].text, "What is a hash map?");
    EXPECT_TRUE(reports[1].isRevision);
    EXPECT_FALSE(reports[1].isFinal);

    request->endAudio();
    EXPECT_TRUE(firstTask().request->ended);
    firstTask().deliver("What is a hash", true);
    EXPECT_EQ(reports.back().text, "What is a hash map?") << "the end keeps the finer text";
    EXPECT_TRUE(reports.back().isFinal);
}

// In a language the live recogniser does not know, it only times the speech, and the second pass,
// told the language, writes the words; without a model that hears it, nothing can be heard.
TEST_F(TwoPass, InAnotherLanguageTheFirstPassTimesAndTheSecondWritesTheWords) {
    const auto german = [this] {
        return std::make_unique<TwoPassRecognizer>(
            first, [this] { return second; }, TwoPassRecognizer::Timing{},
            TwoPassRecognizer::Language{"de", false});
    };
    recognizer = german();
    EXPECT_FALSE(recognizer->isAvailable()) << "the model hears English alone";
    second->languages = {"en", "de"};
    EXPECT_TRUE(recognizer->isAvailable());
    start();
    hear(0.5);
    firstTask().deliver("we funk she on eared");
    hear(0.4);
    ASSERT_EQ(second->jobs.size(), 1u);
    EXPECT_EQ(second->jobs[0]->language, "de");
    second->jobs[0]->finish({std::string("Wie funktioniert das?"), std::nullopt});
    firstTask().deliver("we funk she on eared", true);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_TRUE(reports[0].isTimingOnly);
    EXPECT_EQ(reports[1].text, "Wie funktioniert das?");
    EXPECT_FALSE(reports[1].isTimingOnly);
    EXPECT_EQ(reports[2].text, "Wie funktioniert das?");
    EXPECT_FALSE(reports[2].isTimingOnly) << "the end keeps the second pass's words";

    second->languages = {"en"};  // a model for English alone was chosen meanwhile
    reports.clear();
    start();
    hear(0.5);
    firstTask().deliver("we funk she on eared", true);
    EXPECT_EQ(second->jobs.size(), 1u) << "no second pass in a language it does not hear";
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].isTimingOnly) << "and the live words are still not the question";
}

TEST_F(TwoPass, WordsThatGoOnCancelTheSecondPassAndALateAnswerIsDropped) {
    start();
    hear(0.3);
    firstTask().deliver("Tell me");
    hear(0.4);
    ASSERT_EQ(second->jobs.size(), 1u);
    firstTask().deliver("Tell me about a time");
    EXPECT_TRUE(second->jobs[0]->cancelled);
    second->jobs[0]->completion({std::string("Tell me"), std::nullopt});  // already on its way
    EXPECT_EQ(reports.size(), 2u) << "an answer for words the speaker went past is not shown";
    hear(0.4);
    ASSERT_EQ(second->jobs.size(), 2u);
    EXPECT_EQ(second->jobs[1]->audio.samples.size(), 11u * 4800);
    second->jobs[1]->finish({std::string("Tell me about a time you failed"), std::nullopt});
    EXPECT_EQ(reports.back().text, "Tell me about a time you failed");

    // A first-pass final result for new words is not overwritten by an older revision.
    firstTask().deliver("Tell me about a time you felt", true);
    EXPECT_EQ(reports.back().text, "Tell me about a time you felt");
}

TEST_F(TwoPass, ASecondPassThatFailsOrHearsNothingLeavesTheFirstPassText) {
    start();
    hear(0.2);
    firstTask().deliver("Why Rust");
    hear(0.4);
    ASSERT_EQ(second->jobs.size(), 1u);
    second->jobs[0]->finish({std::nullopt, std::string("the model could not run")});
    firstTask().deliver("Why Rust here");
    hear(0.4);
    ASSERT_EQ(second->jobs.size(), 2u);
    second->jobs[1]->finish({std::string("  "), std::nullopt});
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_FALSE(reports[0].isRevision || reports[1].isRevision);
    firstTask().deliver("Why Rust here", true);
    EXPECT_EQ(reports.back().text, "Why Rust here");
}

TEST_F(TwoPass, SilenceBeforeAnyWordsStartsNoSecondPass) {
    start();
    hear(3.0, 0.0f);
    EXPECT_TRUE(second->jobs.empty());
}

TEST_F(TwoPass, CancelStopsBothPassesAndOnlyTheCancellationFollows) {
    start();
    hear(0.2);
    firstTask().deliver("What is");
    hear(0.4);
    ASSERT_EQ(second->jobs.size(), 1u);
    task->cancel();
    EXPECT_TRUE(second->jobs[0]->cancelled);
    EXPECT_TRUE(firstTask().cancelled);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].error, SpeechRecognitionError::Kind::cancelled);
    second->jobs[0]->completion({std::string("What is late"), std::nullopt});
    firstTask().deliver("What is more");
    EXPECT_EQ(reports.size(), 2u) << "nothing after the cancellation";
}

TEST_F(TwoPass, TheSecondPassHearsOnlyTheUtterancesLastThirtySeconds) {
    start();
    hear(31.0);
    firstTask().deliver("A very long question");
    hear(0.4);
    ASSERT_EQ(second->jobs.size(), 1u);
    EXPECT_EQ(second->jobs[0]->audio.samples.size(), 30u * 48000);
}

TEST_F(TwoPass, TheSecondPassHearsFromJustBeforeTheSpeechNotTheQuietBeforeIt) {
    // Twenty seconds of quiet (digital silence, then a room's hum), a 3 s question, the pause.
    for (const float background : {0.0f, 0.02f}) {
        start();
        hear(20.0, background);
        hear(0.5);
        firstTask().deliver("Tell me about");
        hear(2.5);
        firstTask().deliver("Tell me about a time you failed");
        hear(0.4, background);
        ASSERT_FALSE(second->jobs.empty());
        EXPECT_EQ(second->jobs.back()->audio.samples.size(), 36u * 4800)
            << "0.2 s before the speech, its 3 s and the pause, at background " << background;
    }
}

TEST_F(TwoPass, TheInterviewTermsArePassedOnAndBecomeTheSecondPassPrompt) {
    start({true, {"SQL"}, {"Acme Robotics", "Postgres", " "}});
    EXPECT_EQ(first->requests[0]->options.interviewTerms.size(), 3u);
    EXPECT_EQ(first->requests[0]->options.contextualStrings, (std::vector<std::string>{"SQL"}));
    hear(0.2);
    firstTask().deliver("Why Postgres");
    hear(0.4);
    ASSERT_EQ(second->jobs.size(), 1u);
    EXPECT_EQ(second->jobs[0]->prompt, "Interview terms: Acme Robotics, Postgres.");
    EXPECT_EQ(TwoPassRecognizer::promptFor({}), "");
}

// Hearing with the model alone: voiced blocks time the speech at once, passes over the utterance
// so far come one at a time as it grows, and the last, once the speaker pauses, is its text.
class Streaming : public TwoPass {
protected:
    Streaming() {
        recognizer = std::make_shared<StreamingRecognizer>(second, levelDetectors(), "en");
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& report : reports)
            if (!report.isTimingOnly) out.push_back(report.text);
        return out;
    }
    void pass(std::size_t index, const std::string& text) {
        ASSERT_GT(second->jobs.size(), index);
        second->jobs[index]->finish({text, std::nullopt});
    }
};

TEST_F(Streaming, PassesGrowTheLiveLineKeepWhatTheyAgreeOnAndTheLastIsTheQuestion) {
    start({true, {}, {"Acme Robotics"}});
    hear(1.0, 0.0f);
    EXPECT_TRUE(reports.empty()) << "silence reports nothing";
    hear(0.6);
    EXPECT_EQ(reports.size(), 6u) << "each voiced block is timed as it comes";
    EXPECT_TRUE(second->jobs.empty());
    hear(0.7);
    ASSERT_EQ(second->jobs.size(), 1u);
    const auto& heard = second->jobs[0]->audio;
    EXPECT_EQ(heard.channels, 1);
    EXPECT_EQ(heard.samples.size(), 11u * 4800) << "0.3 s before the voice, 0.8 s of it";
    EXPECT_EQ(second->jobs[0]->prompt, "Interview terms: Acme Robotics.");
    hear(1.0);
    EXPECT_EQ(second->jobs.size(), 1u) << "one pass at a time";

    pass(0, " What is a ");
    hear(1.4);
    EXPECT_EQ(second->jobs.size(), 1u) << "a pass that took 1.5 s waits 3 s for the next";
    hear(0.1);
    ASSERT_EQ(second->jobs.size(), 2u);
    pass(1, "What is uh hash");
    hear(0.7);
    pass(2, "what is a hash map");
    EXPECT_EQ(texts(),
              (std::vector<std::string>{"What is a", "What is uh hash", "What is a hash map"}))
        << "words two passes agreed on keep their first spelling";

    hear(0.7);
    ASSERT_EQ(second->jobs.size(), 4u);
    hear(0.1, 0.0f);
    EXPECT_EQ(second->jobs.size(), 4u) << "a short pause is no end";
    hear(0.1, 0.0f);
    ASSERT_EQ(second->jobs.size(), 5u) << "the whole utterance is heard once the speaker pauses";
    EXPECT_TRUE(second->jobs[3]->cancelled) << "in place of the pass it supersedes";
    EXPECT_EQ(second->jobs[4]->audio.samples.size(), 57u * 4800) << "5.2 s of voice, 0.5 s around";
    pass(4, "What is a hash map?");
    EXPECT_EQ(reports.back().text, "What is a hash map?");
    EXPECT_TRUE(reports.back().isRevision);
    EXPECT_FALSE(reports.back().isFinal);
    hear(2.0, 0.0f);
    EXPECT_EQ(second->jobs.size(), 5u);

    request->endAudio();
    EXPECT_EQ(second->jobs.size(), 5u) << "the end was heard already";
    EXPECT_EQ(reports.back().text, "What is a hash map?");
    EXPECT_TRUE(reports.back().isFinal);
}

// The end of the audio hears the utterance out; words the guards rejected show nothing, and
// the words heard on the way stand when the last pass is rejected.
TEST_F(Streaming, TheEndHearsTheUtteranceOutAndRejectedPassesShowNothing) {
    start();
    hear(0.4);
    hear(0.3, 0.0f);
    ASSERT_EQ(second->jobs.size(), 1u);
    pass(0, "");
    EXPECT_TRUE(texts().empty()) << "a cough the guards rejected";

    hear(0.8);
    ASSERT_EQ(second->jobs.size(), 2u);
    EXPECT_EQ(second->jobs[1]->audio.samples.size(), 11u * 4800) << "the cough is forgotten";
    pass(1, "Tell me about");
    hear(0.3);
    request->endAudio();
    ASSERT_EQ(second->jobs.size(), 3u);
    hear(1.0);
    EXPECT_EQ(second->jobs.size(), 3u) << "nothing is heard after the end";
    EXPECT_FALSE(reports.back().isFinal) << "the end waits for the last pass";
    pass(2, "");
    EXPECT_EQ(reports.back().text, "Tell me about");
    EXPECT_TRUE(reports.back().isFinal);
}

// Longer than the transcriber's window: the words heard so far stay, and the passes hear on from
// where their audio ended, told them as their prompt.
TEST_F(Streaming, AnUtteranceLongerThanTheWindowKeepsItsStartAndHearsOn) {
    recognizer = std::make_shared<StreamingRecognizer>(
        second, levelDetectors(), "en", StreamingRecognizer::Timing{0.7, 0.2, 0.3, 2.0});
    start();
    hear(0.8);
    pass(0, "Tell me about a time");
    hear(1.4);
    ASSERT_EQ(second->jobs.size(), 3u);
    EXPECT_TRUE(second->jobs[1]->cancelled) << "it heard what is let go of";
    EXPECT_EQ(second->jobs[2]->prompt, "Tell me about a time");
    EXPECT_EQ(second->jobs[2]->audio.samples.size(), 14u * 4800) << "from the first pass's end";
    pass(2, "you led a migration");
    hear(0.2, 0.0f);
    request->endAudio();
    pass(3, "you led a migration?");
    EXPECT_EQ(texts(), (std::vector<std::string>{"Tell me about a time",
                                                 "Tell me about a time you led a migration",
                                                 "Tell me about a time you led a migration?"}));
    EXPECT_TRUE(reports.back().isFinal);
}

TEST_F(Streaming, CancelStopsThePassAndOnlyTheCancellationFollows) {
    start();
    hear(0.8);
    ASSERT_EQ(second->jobs.size(), 1u);
    task->cancel();
    EXPECT_TRUE(second->jobs[0]->cancelled);
    ASSERT_TRUE(reports.back().error);
    EXPECT_EQ(*reports.back().error, SpeechRecognitionError::Kind::cancelled);
    hear(1.0);
    EXPECT_TRUE(reports.back().error) << "nothing follows";
}

TEST(TwoPassService, EachUtteranceHearsWithTheEnginesSetWhenItBegan) {
    ScriptedSpeechService speech;
    TwoPassSpeechService service(speech, levelDetectors());
    const auto french = service.recognizer("fr-FR");
    ASSERT_NE(french, nullptr) << "the English first pass times French speech";
    // Taken once, before any model is ready, as a session takes it.
    const auto recognizer = service.recognizer("en-US");
    ASSERT_NE(recognizer, nullptr);
    EXPECT_TRUE(recognizer->isAvailable());
    auto& first = *speech.recognizers["en-US"];
    // Whether PocketSphinx heard the utterance.
    const auto utterance = [&] {
        const auto requests = first.requests.size();
        auto request = recognizer->makeRequest({});
        auto task = recognizer->recognitionTask(request, [](auto, auto) {});
        request->append(AudioBuffer{48000, 1, std::vector<float>(24000, 0.2f)});
        if (first.requests.size() > requests) first.lastTask()->deliver("What is a hash");
        request->append(AudioBuffer{48000, 1, std::vector<float>(24000, 0.0f)});
        task->cancel();
        return first.requests.size() > requests;
    };

    EXPECT_TRUE(utterance());
    EXPECT_EQ(service.engineDescription("PocketSphinx"), "PocketSphinx");
    auto server = std::make_shared<ScriptedTranscriber>();
    server->name = "the transcription server";
    service.setSecondPass(server);
    EXPECT_EQ(service.engineDescription("PocketSphinx"),
              "PocketSphinx, then the transcription server");
    EXPECT_TRUE(utterance());
    EXPECT_EQ(server->jobs.size(), 1u);

    auto model = std::make_shared<ScriptedTranscriber>();
    const std::weak_ptr<ScriptedTranscriber> firstModel = model;
    service.setLiveModel(model);
    service.setSecondPass(nullptr);
    EXPECT_EQ(service.engineDescription("PocketSphinx"), "Whisper (test.bin)");
    EXPECT_FALSE(utterance()) << "the model hears everything";
    EXPECT_EQ(model->jobs.size(), 1u);
    EXPECT_FALSE(french->isAvailable()) << "a model for English alone hears no French";
    model->languages = {"en", "fr"};
    EXPECT_TRUE(french->isAvailable());

    model = std::make_shared<ScriptedTranscriber>();
    service.setLiveModel(model);
    EXPECT_TRUE(firstModel.expired()) << "a model no longer chosen is let go of";
    service.setSecondPass(server);
    EXPECT_THAT(service.engineDescription("PocketSphinx"),
                ::testing::StartsWith("Whisper (test.bin), then"));
    EXPECT_FALSE(utterance());
    EXPECT_EQ(model->jobs.size(), 1u);

    service.setLiveModel(nullptr);
    service.setSecondPass(nullptr);
    EXPECT_TRUE(utterance());
    EXPECT_EQ(model->jobs.size(), 1u);
    EXPECT_FALSE(french->isAvailable());
}

}  // namespace
}  // namespace orvane::testing
