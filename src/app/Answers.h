// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QString>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "accounts/KeychainHelper.h"
#include "app/BackendSupervisor.h"
#include "session/AnswerSettings.h"
#include "session/ProviderCheck.h"

namespace orvane {

// Where the user's answers come from: the settings kept in a private file, the key in the desktop's
// secret store (never in the file), and the backend that serves them, which the supervisor, when
// there is one, restarts as they change. Main thread only.
class Answers {
public:
    Answers(KeychainHelper& keychain, std::filesystem::path settingsFile,
            std::shared_ptr<ProviderCheck> check, BackendSupervisor* supervisor);

    // Serves the run command's answers when its environment gave some (their key with them), else
    // the saved ones.
    void start(const std::optional<AnswerSettings>& fromEnvironment,
               const std::optional<std::string>& environmentKey);
    const AnswerSettings& settings() const { return m_settings; }
    bool hasKey() const;
    // Keeps the settings, and the key when one was typed, and serves them from now on.
    void apply(const AnswerSettings& settings, const std::optional<std::string>& typedKey);
    // Asks the provider one short question, with the key typed or else the one kept.
    void test(const AnswerSettings& settings, const std::optional<std::string>& typedKey,
              std::function<void(ProviderCheck::Outcome)> completion);
    void listModels(const std::string& baseUrl,
                    std::function<void(ProviderCheck::Models)> completion);
    // Where the answers are served from, as a sentence for Preferences.
    QString note() const;

    // The settings file beside Orvane's other settings: $XDG_CONFIG_HOME/orvane/answers.json.
    static std::optional<std::filesystem::path> settingsFileForUser();
    std::function<void()> onChanged;

private:
    std::optional<std::string> keyFor(const AnswerSettings& settings) const;
    void save() const;

    KeychainHelper& m_keychain;
    std::filesystem::path m_settingsFile;
    std::shared_ptr<ProviderCheck> m_check;
    BackendSupervisor* m_supervisor;
    AnswerSettings m_settings;
    // A key the run command's environment gave: used, never stored.
    std::optional<std::string> m_environmentKey;
};

}  // namespace orvane
