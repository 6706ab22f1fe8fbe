// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "accounts/KeychainHelper.h"
#include "app/SpeechEngines.h"
#include "capture/ServerTranscriber.h"

namespace orvane {

// The transcription server the user chose: its settings kept in a private file, its key in the
// desktop's secret store (never in the file), and the engines told to hear the question with it.
// Main thread only.
class TranscriptionServers {
public:
    TranscriptionServers(KeychainHelper& keychain, HttpClient& http, MainQueue& mainQueue,
                         SpeechEngines& engines, std::filesystem::path settingsFile);

    // Hears with the saved server, if one was chosen.
    void start();
    const TranscriptionServer& settings() const { return m_settings; }
    bool hasKey() const { return !keyFor(m_settings).empty(); }
    // Keeps the settings, and the key when one was typed, and hears with them from the next
    // question on; says why they cannot be used, or empty. A key typed for plain http to another
    // machine changes nothing.
    std::string apply(const TranscriptionServer& settings,
                      const std::optional<std::string>& typedKey);
    // Sends the server a second of quiet, with the key typed or else the one kept; the
    // completion runs on the main thread.
    void test(const TranscriptionServer& settings, const std::optional<std::string>& typedKey,
              std::function<void(ServerTranscriber::Check)> completion);

    // $XDG_CONFIG_HOME/orvane/transcription.json.
    static std::optional<std::filesystem::path> settingsFileForUser();

private:
    std::string keyFor(const TranscriptionServer& settings) const;
    std::string use();

    KeychainHelper& m_keychain;
    HttpClient& m_http;
    MainQueue& m_mainQueue;
    SpeechEngines& m_engines;
    std::filesystem::path m_settingsFile;
    TranscriptionServer m_settings;
    // A test under way holds its transcriber; a result for a window that closed goes nowhere.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace orvane
