// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/SpeechEngines.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "adapters/std/PrivateFiles.h"
#include "adapters/whisper/ModelInstaller.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

constexpr const char* kNone = "none";

}  // namespace

SpeechEngines::Places SpeechEngines::Places::forUser() {
    const auto config = files::userConfigHome();
    if (!config) return {};
    return {ModelInstaller::defaultDirectory().value_or(""), *config / "orvane" / "speech-model"};
}

SpeechEngines::SpeechEngines(TwoPassSpeechService& speech, MainQueue& mainQueue,
                             BackgroundQueue& modelWork, Places places, Loader loader, Adder adder,
                             Downloader downloader)
    : m_speech(speech),
      m_mainQueue(mainQueue),
      m_modelWork(modelWork),
      m_places(std::move(places)),
      m_loader(std::move(loader)),
      m_adder(std::move(adder)),
      m_downloader(std::move(downloader)) {}

SpeechEngines::~SpeechEngines() {
    *m_stopping = true;
    if (m_cancelDownload) *m_cancelDownload = true;
}

void SpeechEngines::start() {
    if (m_places.choice.empty()) {
        m_problem = ModelInstaller::noHomeMessage;
        changed();
        return;
    }
    // A load that never came back took the process down with it: that model is not tried again
    // until the user chooses it, or every start would end the same way.
    if (const auto crashed = readLines(loadingMarker()); !crashed.empty()) {
        markFailed(crashed.front());
    }
    std::error_code error;
    fs::remove(loadingMarker(), error);
    if (const auto choice = remembered()) {
        m_selected = *choice;
    } else {
        const auto models = ModelInstaller::installedModels(m_places.models);
        if (!models.empty()) m_selected = models.front();
    }
    const auto failed = readLines(failedList());
    if (m_selected && std::find(failed.begin(), failed.end(), *m_selected) != failed.end()) {
        m_problem = m_selected->filename().string() +
                    " could not be loaded last time; choose it again to try once more. Hearing "
                    "goes on with " +
                    firstPassName + " alone.";
    } else if (m_selected) {
        load(*m_selected);
    }
    changed();
}

void SpeechEngines::choose(const std::optional<fs::path>& model) {
    if (m_places.choice.empty()) {
        m_problem = ModelInstaller::noHomeMessage;
        changed();
        return;
    }
    remember(model);
    if (model) unmarkFailed(*model);
    m_selected = model;
    m_problem.clear();
    m_model = nullptr;
    hearWithChosenEngines();
    ++m_loadNumber;
    m_loading = false;
    if (model) load(*model);
    changed();
}

void SpeechEngines::useServer(std::shared_ptr<UtteranceTranscriber> server) {
    m_server = std::move(server);
    hearWithChosenEngines();
    changed();
}

void SpeechEngines::addModelFile(const fs::path& file) {
    m_loading = true;
    m_problem.clear();
    changed();
    // The work holds nothing of this object but the way back, which checks it is still alive.
    m_modelWork.async([this, alive = std::weak_ptr<bool>(m_alive), stopping = m_stopping,
                       &mainQueue = m_mainQueue, adder = m_adder, file] {
        if (*stopping) return;
        auto added = adder(file, *stopping);
        mainQueue.post([this, alive, added = std::move(added)] {
            if (alive.expired()) return;
            if (added.first) {
                choose(*added.first);
                return;
            }
            m_loading = false;
            m_problem = added.second;
            changed();
        });
    });
}

SpeechEngines::Downloader SpeechEngines::downloadFrom(HttpClient& http, fs::path models,
                                                      std::string baseUrl) {
    return [&http, models = std::move(models), baseUrl = std::move(baseUrl)](
               const CatalogModel& model,
               const std::function<void(const ModelInstaller::Progress&)>& progress,
               const std::atomic<bool>& stop) {
        const auto result =
            ModelInstaller(http, models).install(model.url(baseUrl), model.sha256, progress, &stop);
        return std::pair(result.installed, result.problem);
    };
}

void SpeechEngines::download(const CatalogModel& model) {
    if (!m_downloader || m_download) return;
    if (m_places.models.empty()) {
        m_problem = ModelInstaller::noHomeMessage;
        changed();
        return;
    }
    m_download = Status::Download{model.name, 0, std::nullopt};
    m_cancelDownload = std::make_shared<std::atomic<bool>>(false);
    m_problem.clear();
    changed();
    m_modelWork.async([this, alive = std::weak_ptr<bool>(m_alive), stopping = m_stopping,
                       cancel = m_cancelDownload, &mainQueue = m_mainQueue,
                       downloader = m_downloader, model] {
        std::pair<std::optional<fs::path>, std::string> downloaded{std::nullopt,
                                                                   "The download was stopped."};
        if (!*stopping && !*cancel) {
            // Progress is passed on each time it crosses a percent (or a mebibyte when the
            // server gave no length), not for every packet.
            std::uint64_t lastStep = 0;
            downloaded = downloader(
                model,
                [&, alive](const ModelInstaller::Progress& progress) {
                    const auto step = progress.total && *progress.total > 0
                                          ? progress.bytes * 100 / *progress.total
                                          : progress.bytes >> 20;
                    if (step == lastStep && progress.bytes > 0) return;
                    lastStep = step;
                    mainQueue.post([this, alive, progress] {
                        if (!alive.expired()) downloadProgressed(progress.bytes, progress.total);
                    });
                },
                *cancel);
        }
        mainQueue.post([this, alive, cancel, model, downloaded = std::move(downloaded)] {
            if (alive.expired() || cancel != m_cancelDownload) return;
            m_download.reset();
            m_cancelDownload.reset();
            if (downloaded.first) {
                choose(*downloaded.first);
                return;
            }
            m_problem = *cancel ? "The download of Whisper " + model.name +
                                      " was stopped; downloading it again goes on from there."
                                : downloaded.second;
            changed();
        });
    });
}

void SpeechEngines::cancelDownload() {
    if (m_cancelDownload) *m_cancelDownload = true;
}

void SpeechEngines::downloadProgressed(std::uint64_t bytes, std::optional<std::uint64_t> total) {
    if (!m_download) return;
    m_download->bytes = bytes;
    m_download->total = total;
    changed();
}

std::optional<CatalogModel> SpeechEngines::downloadToOffer() {
    if (m_offered || m_places.choice.empty() || m_selected || m_server || m_download ||
        !m_downloader)
        return std::nullopt;
    if (!ModelInstaller::installedModels(m_places.models).empty()) return std::nullopt;
    // PocketSphinx alone, chosen: a choice, not a gap to fill.
    if (const auto choice = remembered(); choice && !*choice) return std::nullopt;
    std::error_code error;
    if (fs::exists(offerDismissedMarker(), error)) return std::nullopt;
    m_offered = true;
    return ModelCatalog::recommendedFor(cores);
}

void SpeechEngines::dismissOffer() {
    if (m_places.choice.empty()) return;
    writeLines(offerDismissedMarker(), {});
}

fs::path SpeechEngines::offerDismissedMarker() const {
    return m_places.choice.string() + "-offer-dismissed";
}

void SpeechEngines::load(const fs::path& model) {
    const auto number = ++m_loadNumber;
    m_loading = true;
    writeLines(loadingMarker(), {model});
    m_modelWork.async([this, alive = std::weak_ptr<bool>(m_alive), stopping = m_stopping,
                       &mainQueue = m_mainQueue, loader = m_loader, model, number,
                       marker = loadingMarker()] {
        if (*stopping) {
            // Never started, so it did not fail either.
            std::error_code error;
            fs::remove(marker, error);
            return;
        }
        auto loaded = loader(model);
        mainQueue.post([this, alive, model, number, loaded = std::move(loaded)] {
            if (alive.expired()) return;
            std::error_code error;
            fs::remove(loadingMarker(), error);
            if (!loaded.first) markFailed(model);
            if (number != m_loadNumber) return;
            m_loading = false;
            if (loaded.first) {
                m_model = loaded.first;
                hearWithChosenEngines();
                m_problem.clear();
            } else {
                m_problem = loaded.second + " Hearing goes on with " + firstPassName + " alone.";
            }
            changed();
        });
    });
}

fs::path SpeechEngines::loadingMarker() const {
    return m_places.choice.string() + "-loading";
}

fs::path SpeechEngines::failedList() const {
    return m_places.choice.string() + "-failed";
}

void SpeechEngines::markFailed(const fs::path& model) const {
    auto failed = readLines(failedList());
    if (std::find(failed.begin(), failed.end(), model) == failed.end()) failed.push_back(model);
    writeLines(failedList(), failed);
}

void SpeechEngines::unmarkFailed(const fs::path& model) const {
    auto failed = readLines(failedList());
    const auto end = std::remove(failed.begin(), failed.end(), model);
    if (end == failed.end()) return;
    failed.erase(end, failed.end());
    writeLines(failedList(), failed);
}

std::vector<fs::path> SpeechEngines::readLines(const fs::path& file) {
    std::vector<fs::path> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) lines.emplace_back(line);
    }
    return lines;
}

void SpeechEngines::writeLines(const fs::path& file, const std::vector<fs::path>& lines) {
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    std::ofstream out(file, std::ios::trunc);
    for (const auto& line : lines) out << line.string() << "\n";
}

// The model hears everything, and a server chosen hears each finished utterance again.
void SpeechEngines::hearWithChosenEngines() {
    m_speech.setLiveModel(m_model);
    m_speech.setSecondPass(m_server);
}

void SpeechEngines::changed() {
    if (onChanged) onChanged(status());
}

SpeechEngines::Status SpeechEngines::status() const {
    return {m_speech.engineDescription(firstPassName),
            ModelInstaller::installedModels(m_places.models),
            m_selected,
            m_loading,
            m_problem,
            m_download};
}

void SpeechEngines::remember(const std::optional<fs::path>& model) const {
    std::error_code error;
    fs::create_directories(m_places.choice.parent_path(), error);
    std::ofstream out(m_places.choice, std::ios::trunc);
    out << (model ? model->string() : std::string(kNone)) << "\n";
}

std::optional<std::optional<fs::path>> SpeechEngines::remembered() const {
    std::ifstream in(m_places.choice);
    std::string line;
    if (!in || !std::getline(in, line) || line.empty()) return std::nullopt;
    if (line == kNone) return std::optional<fs::path>{};
    return std::optional<fs::path>{fs::path(line)};
}

}  // namespace orvane
