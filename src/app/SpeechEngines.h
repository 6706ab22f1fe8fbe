// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "adapters/whisper/ModelCatalog.h"
#include "adapters/whisper/ModelInstaller.h"
#include "capture/TwoPassRecognizer.h"
#include "platform/BackgroundQueue.h"
#include "platform/MainQueue.h"

namespace orvane {

// Which engines hear: PocketSphinx alone, or a Whisper model, which then hears everything. The
// choice is the user's (kept in a file beside Orvane's other settings); without one, the newest
// installed model is used. Models are copied and loaded on a queue of their own (a copy or a load
// takes seconds, and must not hold up the sound stream or a screenshot); until one has loaded, and
// when one cannot be, PocketSphinx hears alone and the status says so. Destroying the engines
// stops a copy under way and drops the work not yet started. A model that failed to load, or
// was loading when the process ended, is not loaded again at start until the user chooses it.
// The models of the catalog download on the user's word alone, one at a time. Every public
// operation and every report runs on the main thread.
class SpeechEngines {
public:
    struct Status {
        std::string engines;                        // "PocketSphinx" or "Whisper base.en (…)"
        std::vector<std::filesystem::path> models;  // installed, newest first
        std::optional<std::filesystem::path> selected;
        bool loading = false;
        std::string problem;  // why the chosen model is not hearing
        struct Download {
            std::string model;  // the catalog's name, "tiny.en"
            std::uint64_t bytes = 0;
            std::optional<std::uint64_t> total;
        };
        std::optional<Download> download;  // under way
    };
    // Loads a model, or says why it cannot (the result of WhisperTranscriber::load).
    using Loader = std::function<std::pair<std::shared_ptr<UtteranceTranscriber>, std::string>(
        const std::filesystem::path&)>;
    // Copies a model file in among the installed ones; the installed path, or why not. `stop`
    // abandons the copy.
    using Adder = std::function<std::pair<std::optional<std::filesystem::path>, std::string>(
        const std::filesystem::path&, const std::atomic<bool>& stop)>;
    // Downloads a model of the catalog in among the installed ones, reporting progress as it
    // arrives (on any thread); the installed path, or why not. `stop` abandons it, and what
    // arrived is kept for the next try to go on from.
    using Downloader = std::function<std::pair<std::optional<std::filesystem::path>, std::string>(
        const CatalogModel&, const std::function<void(const ModelInstaller::Progress&)>& progress,
        const std::atomic<bool>& stop)>;
    // Downloads from the catalog's files under baseUrl into the models directory, each checked
    // against the catalog's sum.
    static Downloader downloadFrom(HttpClient& http, std::filesystem::path models,
                                   std::string baseUrl);

    struct Places {
        std::filesystem::path models;  // where installed models are
        std::filesystem::path choice;  // the file that keeps the user's choice
        // Under XDG_DATA_HOME and XDG_CONFIG_HOME; empty without a home directory, and then no
        // model is chosen or loaded.
        static Places forUser();
    };

    SpeechEngines(TwoPassSpeechService& speech, MainQueue& mainQueue, BackgroundQueue& modelWork,
                  Places places, Loader loader, Adder adder, Downloader downloader = nullptr);
    ~SpeechEngines();
    SpeechEngines(const SpeechEngines&) = delete;
    SpeechEngines& operator=(const SpeechEngines&) = delete;

    // Loads the chosen (or newest) model, if any.
    void start();
    // Hears with this model from the next utterance on, or with PocketSphinx alone (nullopt).
    void choose(const std::optional<std::filesystem::path>& model);
    // Hears the question with this server in place of any model, or with the model again
    // (nullptr). The model stays loaded meanwhile.
    void useServer(std::shared_ptr<UtteranceTranscriber> server);
    // Installs a model file the user picked and chooses it.
    void addModelFile(const std::filesystem::path& file);
    // Downloads a model of the catalog and chooses it once it is in; nothing while another is
    // downloading.
    void download(const CatalogModel& model);
    void cancelDownload();

    // The model to offer someone who hears with PocketSphinx alone, has installed and chosen
    // nothing and sends nothing to a server: once a run, until they download one or dismiss the
    // offer for good.
    std::optional<CatalogModel> downloadToOffer();
    void dismissOffer();

    Status status() const;
    std::function<void(const Status&)> onChanged;
    // The processor cores the model offered is chosen for.
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());

    static constexpr const char* firstPassName = "PocketSphinx";

private:
    void load(const std::filesystem::path& model);
    void hearWithChosenEngines();
    void changed();
    void downloadProgressed(std::uint64_t bytes, std::optional<std::uint64_t> total);
    std::filesystem::path offerDismissedMarker() const;
    void remember(const std::optional<std::filesystem::path>& model) const;
    // Beside the choice: the model being loaded (still there after a crash while loading), and
    // the models that failed to load, which are not loaded again unless the user chooses them.
    std::filesystem::path loadingMarker() const;
    std::filesystem::path failedList() const;
    void markFailed(const std::filesystem::path& model) const;
    void unmarkFailed(const std::filesystem::path& model) const;
    static std::vector<std::filesystem::path> readLines(const std::filesystem::path& file);
    static void writeLines(const std::filesystem::path& file,
                           const std::vector<std::filesystem::path>& lines);
    std::optional<std::optional<std::filesystem::path>> remembered() const;

    TwoPassSpeechService& m_speech;
    MainQueue& m_mainQueue;
    BackgroundQueue& m_modelWork;
    Places m_places;
    Loader m_loader;
    Adder m_adder;
    Downloader m_downloader;
    std::optional<Status::Download> m_download;
    std::shared_ptr<std::atomic<bool>> m_cancelDownload;
    bool m_offered = false;
    std::optional<std::filesystem::path> m_selected;
    std::shared_ptr<UtteranceTranscriber> m_model;  // loaded
    std::shared_ptr<UtteranceTranscriber> m_server;
    std::uint64_t m_loadNumber = 0;
    bool m_loading = false;
    std::string m_problem;
    // Work on the model queue holds these: the way back checks the engines are still there, and
    // the work itself stops when they are not.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::shared_ptr<std::atomic<bool>> m_stopping = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace orvane
