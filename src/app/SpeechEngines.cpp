// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/SpeechEngines.h"

#include <cstdlib>
#include <fstream>

#include "adapters/whisper/ModelInstaller.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

constexpr const char* kNone = "none";

}  // namespace

SpeechEngines::Places SpeechEngines::Places::forUser() {
    fs::path config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        config = xdg;
    } else {
        const char* home = std::getenv("HOME");
        config = fs::path(home ? home : "/tmp") / ".config";
    }
    return {ModelInstaller::defaultDirectory(), config / "orvane" / "speech-model"};
}

SpeechEngines::SpeechEngines(TwoPassSpeechService& speech, MainQueue& mainQueue,
                             BackgroundQueue& background, Places places, Loader loader, Adder adder)
    : m_speech(speech),
      m_mainQueue(mainQueue),
      m_background(background),
      m_places(std::move(places)),
      m_loader(std::move(loader)),
      m_adder(std::move(adder)) {}

void SpeechEngines::start() {
    if (const auto choice = remembered()) {
        m_selected = *choice;
    } else {
        const auto models = ModelInstaller::installedModels(m_places.models);
        if (!models.empty()) m_selected = models.front();
    }
    if (m_selected) load(*m_selected);
    changed();
}

void SpeechEngines::choose(const std::optional<fs::path>& model) {
    remember(model);
    m_selected = model;
    m_problem.clear();
    m_speech.setSecondPass(nullptr);
    ++m_loadNumber;
    m_loading = false;
    if (model) load(*model);
    changed();
}

void SpeechEngines::addModelFile(const fs::path& file) {
    m_loading = true;
    m_problem.clear();
    changed();
    // The work holds nothing of this object but the way back, which checks it is still alive.
    m_background.async([this, alive = std::weak_ptr<bool>(m_alive), &mainQueue = m_mainQueue,
                        adder = m_adder, file] {
        auto added = adder(file);
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

void SpeechEngines::load(const fs::path& model) {
    const auto number = ++m_loadNumber;
    m_loading = true;
    m_background.async([this, alive = std::weak_ptr<bool>(m_alive), &mainQueue = m_mainQueue,
                        loader = m_loader, model, number] {
        auto loaded = loader(model);
        mainQueue.post([this, alive, number, loaded = std::move(loaded)] {
            if (alive.expired() || number != m_loadNumber) return;
            m_loading = false;
            if (loaded.first) {
                m_speech.setSecondPass(loaded.first);
                m_problem.clear();
            } else {
                m_problem = loaded.second + " Hearing goes on with " + firstPassName + " alone.";
            }
            changed();
        });
    });
}

void SpeechEngines::changed() {
    if (onChanged) onChanged(status());
}

SpeechEngines::Status SpeechEngines::status() const {
    return {m_speech.engineDescription(firstPassName),
            ModelInstaller::installedModels(m_places.models), m_selected, m_loading, m_problem};
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
