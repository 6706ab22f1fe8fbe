// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/TranscriptionServers.h"

#include <fstream>

#include "adapters/std/PrivateFiles.h"

namespace orvane {

TranscriptionServers::TranscriptionServers(KeychainHelper& keychain, HttpClient& http,
                                           MainQueue& mainQueue, SpeechEngines& engines,
                                           std::filesystem::path settingsFile)
    : m_keychain(keychain),
      m_http(http),
      m_mainQueue(mainQueue),
      m_engines(engines),
      m_settingsFile(std::move(settingsFile)) {}

std::optional<std::filesystem::path> TranscriptionServers::settingsFileForUser() {
    const auto config = files::userConfigHome();
    if (!config) return std::nullopt;
    return *config / "orvane" / "transcription.json";
}

void TranscriptionServers::start() {
    if (std::ifstream in(m_settingsFile); in) {
        m_settings = TranscriptionServer::fromJson(nlohmann::json::parse(in, nullptr, false));
    }
    use();
}

std::string TranscriptionServers::keyFor(const TranscriptionServer& settings) const {
    const auto account = settings.keyAccount();
    if (account.empty()) return "";
    return m_keychain.key(account).value_or("");
}

std::string TranscriptionServers::use() {
    if (m_settings.service == TranscriptionServer::Service::none) {
        m_engines.useServer(nullptr);
        return "";
    }
    auto server = std::make_shared<ServerTranscriber>(m_http, m_settings, keyFor(m_settings));
    auto problem = server->problem();
    m_engines.useServer(problem.empty() ? std::move(server) : nullptr);
    return problem;
}

std::string TranscriptionServers::apply(const TranscriptionServer& settings,
                                        const std::optional<std::string>& typedKey) {
    // A key typed for where it may not go is neither kept nor dropped in silence.
    if (typedKey && !settings.mayCarryKey()) {
        return "An API key is sent only over https, or to this computer.";
    }
    if (typedKey && !settings.keyAccount().empty())
        m_keychain.setKey(settings.keyAccount(), typedKey);
    m_settings = settings;
    if (!m_settingsFile.empty() && !files::ensurePrivateDirectory(m_settingsFile.parent_path())) {
        files::writePrivate(m_settingsFile, m_settings.toJson().dump(2) + "\n");
    }
    return use();
}

void TranscriptionServers::test(const TranscriptionServer& settings,
                                const std::optional<std::string>& typedKey,
                                std::function<void(ServerTranscriber::Check)> completion) {
    auto server = std::make_shared<ServerTranscriber>(m_http, settings,
                                                      typedKey ? *typedKey : keyFor(settings));
    server->check([server, &queue = m_mainQueue, alive = std::weak_ptr<bool>(m_alive),
                   completion = std::move(completion)](ServerTranscriber::Check check) mutable {
        queue.post([alive, completion = std::move(completion), check = std::move(check)] {
            if (!alive.expired()) completion(check);
        });
    });
}

}  // namespace orvane
