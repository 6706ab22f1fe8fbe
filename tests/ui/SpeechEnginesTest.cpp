// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/SpeechEngines.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "adapters/curl/CurlHttpClient.h"
#include "adapters/std/SteppedMainQueue.h"
#include "adapters/whisper/ModelInstaller.h"
#include "adapters/whisper/WhisperModelFile.h"
#include "adapters/whisper/WhisperTranscriber.h"
#include "app/TranscriptionServers.h"
#include "fakes/ManualBackgroundQueue.h"
#include "fakes/ScriptedAccounts.h"
#include "fakes/ScriptedSpeech.h"
#include "integration/LoopbackServer.h"

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;

// The engines with real model files, the real loader and the real installer, on queues the test
// runs by hand. Each test has its own data and config directories.
class Engines : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(outside); }
    void TearDown() override { fs::remove_all(root); }

    // The engines as a launch makes them: built, then started.
    std::unique_ptr<SpeechEngines> startEngines(const std::string& baseUrl = "http://127.0.0.1:1") {
        auto engines = makeEngines(baseUrl);
        engines->start();
        return engines;
    }
    std::unique_ptr<SpeechEngines> makeEngines(const std::string& baseUrl = "http://127.0.0.1:1") {
        auto engines = std::make_unique<SpeechEngines>(
            speech, mainQueue, background, places,
            [](const fs::path& model) {
                WhisperTranscriber::Settings settings;
                settings.threads = 1;
                auto loaded = WhisperTranscriber::load(model.string(), settings);
                return std::pair<std::shared_ptr<UtteranceTranscriber>, std::string>(
                    std::move(loaded.transcriber), loaded.problem);
            },
            [this](const fs::path& file, const std::atomic<bool>& stop) {
                const auto result = ModelInstaller(http, places.models)
                                        .install(file.string(), std::nullopt, nullptr, &stop);
                return std::pair(result.installed, result.problem);
            },
            SpeechEngines::downloadFrom(http, places.models, baseUrl));
        engines->onChanged = [this](const SpeechEngines::Status& status) {
            reports.push_back(status);
        };
        return engines;
    }
    // A generated model among the installed ones, written `age` seconds ago.
    fs::path installed(const std::string& name, int age) {
        fs::create_directories(places.models);
        const auto path = places.models / name;
        EXPECT_TRUE(writeRandomWhisperModel(path.string(), WhisperDimensions::testSized(), 3));
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(age));
        return path;
    }
    // Runs the background work, then what it handed back to the main thread.
    void settle() {
        while (background.runAll() + mainQueue.runUntilIdle() > 0) {
        }
    }
    bool hearsWithTheModel() const { return speech.liveModel() != nullptr; }

    fs::path root = fs::temp_directory_path() / ("orvane-engines-" + std::to_string(::getpid()));
    fs::path outside = root / "downloads";
    SpeechEngines::Places places{root / "data" / "models", root / "config" / "speech-model"};
    ScriptedSpeechService pocketSphinx;
    TwoPassSpeechService speech{pocketSphinx,
                                [] { return std::unique_ptr<VoiceActivityDetector>(); }};
    SteppedMainQueue mainQueue;
    ManualBackgroundQueue background;
    CurlHttpClient http;
    std::vector<SpeechEngines::Status> reports;
};

// Without a model PocketSphinx hears alone and says so; the newest model installed loads off the
// main thread, and then hears.
TEST_F(Engines, WithoutAModelPocketSphinxHearsAloneAndTheNewestModelInstalledLoadsAndHears) {
    auto engines = startEngines();
    EXPECT_EQ(background.pendingCount(), 0u);
    EXPECT_EQ(engines->status().engines, "PocketSphinx");
    EXPECT_FALSE(engines->status().selected);
    EXPECT_TRUE(engines->status().problem.empty());
    EXPECT_TRUE(engines->status().models.empty());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_FALSE(hearsWithTheModel());

    installed("ggml-old.bin", 600);
    const auto newest = installed("ggml-new.bin", 5);
    engines = startEngines();
    EXPECT_TRUE(engines->status().loading);
    EXPECT_EQ(engines->status().engines, "PocketSphinx") << "nothing loads on the main thread";
    EXPECT_FALSE(hearsWithTheModel());

    settle();
    const auto status = engines->status();
    EXPECT_FALSE(status.loading);
    EXPECT_EQ(status.selected, newest);
    EXPECT_EQ(status.engines, "Whisper (ggml-new.bin)");
    ASSERT_EQ(status.models.size(), 2u);
    EXPECT_EQ(status.models.front(), newest);
    EXPECT_TRUE(hearsWithTheModel());
    ASSERT_FALSE(reports.empty());
    EXPECT_FALSE(reports.back().loading);
}

TEST_F(Engines, ACorruptOrMissingModelIsExplainedAndPocketSphinxGoesOn) {
    const auto model = installed("ggml-cut.bin", 5);
    fs::resize_file(model, fs::file_size(model) / 2);
    auto engines = startEngines();
    settle();
    auto status = engines->status();
    EXPECT_FALSE(status.loading);
    EXPECT_EQ(status.engines, "PocketSphinx");
    EXPECT_THAT(status.problem, HasSubstr("cut short"));
    EXPECT_THAT(status.problem, HasSubstr("Hearing goes on with PocketSphinx alone."));
    EXPECT_FALSE(hearsWithTheModel());
    // Hearing still works, with the first pass alone.
    auto recognizer = speech.recognizer("en-US");
    ASSERT_TRUE(recognizer);
    std::optional<std::string> heard;
    auto request = recognizer->makeRequest({});
    auto task = recognizer->recognitionTask(request, [&](auto result, auto) {
        if (result && result->isFinal) heard = result->formattedString;
    });
    pocketSphinx.recognizers["en-US"]->lastTask()->deliver("what is a heap", true);
    EXPECT_EQ(heard, "what is a heap");

    // The next start does not try it again by itself.
    engines = startEngines();
    EXPECT_EQ(background.pendingCount(), 0u);
    EXPECT_THAT(engines->status().problem, HasSubstr("could not be loaded last time"));

    fs::remove(model);
    engines->choose(model);
    settle();
    status = engines->status();
    EXPECT_THAT(status.problem, HasSubstr("Cannot read " + model.string()));
    EXPECT_EQ(status.engines, "PocketSphinx");
}

// A model that took the process down while loading is not loaded at the next start, or every
// start would end the same way; the user can still choose it.
TEST_F(Engines, AModelThatWasLoadingWhenTheAppEndedWaitsForTheUser) {
    const auto model = installed("ggml-crashes.bin", 5);
    makeEngines()->start();  // the load never comes back: the process is gone
    background.clear();
    auto engines = startEngines();
    EXPECT_EQ(background.pendingCount(), 0u);
    EXPECT_EQ(engines->status().selected, model);
    EXPECT_THAT(engines->status().problem,
                HasSubstr("ggml-crashes.bin could not be loaded last time"));
    engines->choose(model);
    settle();
    EXPECT_TRUE(hearsWithTheModel());
    engines = startEngines();
    settle();
    EXPECT_TRUE(engines->status().problem.empty()) << "chosen again and loaded, it is trusted";
}

TEST_F(Engines, TheUsersChoiceOutlivesTheAppEvenWhenItIsNone) {
    const auto older = installed("ggml-older.bin", 600);
    installed("ggml-newer.bin", 5);
    {
        auto engines = startEngines();
        settle();
        engines->choose(std::nullopt);
        EXPECT_FALSE(hearsWithTheModel()) << "the choice holds from the next utterance";
        EXPECT_EQ(engines->status().engines, "PocketSphinx");
    }
    {
        auto engines = startEngines();
        EXPECT_EQ(background.pendingCount(), 0u) << "PocketSphinx alone was chosen";
        EXPECT_FALSE(engines->status().selected);
        engines->choose(older);
        settle();
        EXPECT_TRUE(hearsWithTheModel());
    }
    speech.setSecondPass(nullptr);
    auto engines = startEngines();
    EXPECT_EQ(engines->status().selected, older);
    settle();
    EXPECT_TRUE(hearsWithTheModel());
}

TEST_F(Engines, ALoadOvertakenByAnotherChoiceIsDropped) {
    installed("ggml-a.bin", 5);
    auto engines = startEngines();
    engines->choose(std::nullopt);
    settle();
    EXPECT_FALSE(hearsWithTheModel());
    EXPECT_FALSE(engines->status().loading);
    EXPECT_FALSE(engines->status().selected);
}

// Orvane quitting with a model loading and a copy waiting: neither is waited for, and the load
// that never began is not held against the model at the next start.
TEST_F(Engines, WorkLeftWhenTheEnginesAreGoneIsDroppedAndHeldAgainstNothing) {
    installed("ggml-a.bin", 5);
    const auto picked = outside / "ggml-picked.bin";
    ASSERT_TRUE(writeRandomWhisperModel(picked.string(), WhisperDimensions::testSized(), 11));
    auto engines = startEngines();
    engines->addModelFile(picked);
    engines.reset();
    settle();
    EXPECT_FALSE(hearsWithTheModel());
    EXPECT_FALSE(fs::exists(places.models / "ggml-picked.bin"));
    engines = startEngines();
    EXPECT_TRUE(engines->status().problem.empty()) << engines->status().problem;
    settle();
    EXPECT_TRUE(hearsWithTheModel());
}

// A file the user picks is copied in and hears; one that is no model is refused, and nothing of it
// is listed.
TEST_F(Engines, AModelFileTheUserPicksIsCopiedInAndHearsAndAnyOtherFileIsRefused) {
    const auto notes = outside / "notes.bin";
    std::ofstream(notes) << "interview notes, not a model";
    auto engines = startEngines();
    engines->addModelFile(notes);
    settle();
    EXPECT_FALSE(engines->status().loading);
    EXPECT_FALSE(engines->status().selected);
    EXPECT_THAT(engines->status().problem, HasSubstr("not a model Orvane can use"));
    EXPECT_TRUE(engines->status().models.empty()) << "nothing half-installed is listed";
    EXPECT_FALSE(hearsWithTheModel());

    const auto picked = outside / "ggml-picked.bin";
    ASSERT_TRUE(writeRandomWhisperModel(picked.string(), WhisperDimensions::testSized(), 11));
    engines->addModelFile(picked);
    EXPECT_TRUE(engines->status().loading);
    settle();
    const auto status = engines->status();
    EXPECT_EQ(status.selected, places.models / "ggml-picked.bin");
    EXPECT_TRUE(fs::exists(picked)) << "the user's file stays where it was";
    EXPECT_EQ(status.models, std::vector<fs::path>{places.models / "ggml-picked.bin"});
    EXPECT_TRUE(status.problem.empty()) << status.problem;
    EXPECT_TRUE(hearsWithTheModel());
}

TEST_F(Engines, ACatalogModelDownloadsWithProgressAndThenHears) {
    const auto made = outside / "made.bin";
    ASSERT_TRUE(writeRandomWhisperModel(made.string(), WhisperDimensions::testSized(), 5));
    std::ifstream in(made, std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    LoopbackServer server([&](LoopbackConnection& c) {
        c.write("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(bytes.size()) +
                "\r\nConnection: close\r\n\r\n");
        for (std::size_t at = 0; at < bytes.size(); at += 65536) {
            if (!c.write(std::string_view(bytes).substr(at, 65536))) return;
        }
    });
    CatalogModel model = *ModelCatalog::find("tiny.en");
    auto engines = makeEngines(server.origin() + "/resolve/main");
    engines->start();
    engines->download(model);
    EXPECT_EQ(engines->status().download->model, "tiny.en");
    settle();
    EXPECT_FALSE(engines->status().download);
    EXPECT_THAT(engines->status().problem, HasSubstr("not " + model.sha256))
        << "checked against the catalog's sum: " << engines->status().problem;
    EXPECT_EQ(server.requests().back().target, "/resolve/main/ggml-tiny.en.bin");

    model.sha256 =
        ModelInstaller(http, outside / "sums").install(made, std::nullopt, nullptr).sha256;
    reports.clear();
    engines->download(model);
    settle();
    const auto status = engines->status();
    EXPECT_TRUE(status.problem.empty()) << status.problem;
    EXPECT_EQ(status.selected, places.models / "ggml-tiny.en.bin");
    EXPECT_TRUE(hearsWithTheModel());
    const auto progress = std::count_if(reports.begin(), reports.end(), [](const auto& r) {
        return r.download && r.download->bytes > 0 && r.download->total;
    });
    EXPECT_GE(progress, 2) << "progress as it arrives";
    EXPECT_LE(progress, 101) << "at most once a percent";
}

TEST_F(Engines, ADownloadStoppedSaysItGoesOnFromThereNextTime) {
    auto engines = startEngines();
    engines->download(*ModelCatalog::find("base.en"));
    engines->download(*ModelCatalog::find("tiny.en"));  // one at a time
    EXPECT_EQ(engines->status().download->model, "base.en");
    engines->cancelDownload();
    settle();
    EXPECT_FALSE(engines->status().download);
    EXPECT_EQ(engines->status().problem,
              "The download of Whisper base.en was stopped; downloading it again goes on from "
              "there.");
    EXPECT_TRUE(engines->status().models.empty());
}

// Someone hearing with PocketSphinx alone, with nothing installed or chosen, is offered the
// model this computer hears with in time once a run, until they turn it down for good.
TEST_F(Engines, TheSuggestedModelIsOfferedOnceUntilTurnedDown) {
    auto engines = startEngines();
    engines->cores = 4;
    const auto offered = engines->downloadToOffer();
    ASSERT_TRUE(offered);
    EXPECT_EQ(offered->name, "base.en");
    EXPECT_EQ(ModelCatalog::recommendedFor(2).name, "tiny.en") << "base.en is too slow on two";
    EXPECT_FALSE(engines->downloadToOffer()) << "once a run";
    engines = startEngines();
    EXPECT_TRUE(engines->downloadToOffer()) << "again the next run";
    engines->dismissOffer();
    engines = startEngines();
    EXPECT_FALSE(engines->downloadToOffer()) << "turned down for good";

    fs::remove_all(root / "config");
    engines = startEngines();
    engines->choose(std::nullopt);
    EXPECT_FALSE(engines->downloadToOffer()) << "PocketSphinx alone was chosen";
    fs::remove_all(root / "config");
    installed("ggml-mine.bin", 5);
    engines = startEngines();
    EXPECT_FALSE(engines->downloadToOffer()) << "a model is installed";
}

// A transcription server the user chose hears the question in place of the model, which stays
// loaded for when the server is let go; the choice outlives the app and the key stays out of its
// file.
TEST_F(Engines, AChosenServerHearsTheQuestionAfterTheModelUntilLetGo) {
    using Service = TranscriptionServer::Service;
    installed("ggml-new.bin", 5);
    auto engines = startEngines();
    settle();
    InMemorySecretStore store;
    KeychainHelper keychain(store);
    const auto file = root / "config" / "transcription.json";
    TranscriptionServers servers(keychain, http, mainQueue, *engines, file);
    servers.start();
    EXPECT_EQ(engines->status().engines, "Whisper (ggml-new.bin)");

    EXPECT_EQ(servers.apply({Service::groq}, std::nullopt), "Enter the API key first.");
    EXPECT_EQ(engines->status().engines, "Whisper (ggml-new.bin)");
    EXPECT_EQ(servers.apply({Service::groq}, std::string("gsk-1")), "");
    EXPECT_EQ(reports.back().engines, "Whisper (ggml-new.bin), then Groq (whisper-large-v3-turbo)");
    EXPECT_EQ(keychain.key("groq-api-key"), "gsk-1");
    std::ifstream saved(file);
    const std::string text{std::istreambuf_iterator<char>(saved), {}};
    EXPECT_THAT(text, HasSubstr("groq"));
    EXPECT_THAT(text, Not(HasSubstr("gsk-1")));

    engines = startEngines();
    TranscriptionServers later(keychain, http, mainQueue, *engines, file);
    later.start();
    settle();
    EXPECT_EQ(engines->status().engines,
              "Whisper (ggml-new.bin), then Groq (whisper-large-v3-turbo)")
        << "a model loaded at start leaves the server its place";
    EXPECT_EQ(later.apply({Service::compatible, "http://10.0.0.5/v1"}, std::string("sk")),
              "An API key is sent only over https, or to this computer.");
    EXPECT_FALSE(keychain.key("transcription-api-key http://10.0.0.5/v1")) << "not even kept";
    EXPECT_EQ(later.apply({Service::none}, std::nullopt), "");
    EXPECT_EQ(engines->status().engines, "Whisper (ggml-new.bin)");
}

}  // namespace
}  // namespace orvane::testing
