// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/Answers.h"

#include <fstream>

#include "adapters/std/PrivateFiles.h"

namespace orvane {

Answers::Answers(KeychainHelper& keychain, std::filesystem::path settingsFile,
                 std::shared_ptr<ProviderCheck> check, BackendSupervisor* supervisor)
    : m_keychain(keychain),
      m_settingsFile(std::move(settingsFile)),
      m_check(std::move(check)),
      m_supervisor(supervisor) {
    if (m_supervisor) {
        m_supervisor->onStateChanged = [this](BackendSupervisor::State) {
            if (onChanged) onChanged();
        };
    }
}

std::optional<std::filesystem::path> Answers::settingsFileForUser() {
    const auto config = files::userConfigHome();
    if (!config) return std::nullopt;
    return *config / "orvane" / "answers.json";
}

void Answers::start(const std::optional<AnswerSettings>& fromEnvironment,
                    const std::optional<std::string>& environmentKey) {
    if (fromEnvironment) {
        m_settings = *fromEnvironment;
        m_environmentKey = environmentKey;
    } else if (std::ifstream in(m_settingsFile); in) {
        m_settings = AnswerSettings::fromJson(nlohmann::json::parse(in, nullptr, false));
    }
    if (m_supervisor) m_supervisor->apply(m_settings, keyFor(m_settings));
}

std::optional<std::string> Answers::keyFor(const AnswerSettings& settings) const {
    if (!settings.mayCarryKey()) return std::nullopt;
    if (m_environmentKey && settings.keyAccount() == m_settings.keyAccount()) {
        return m_environmentKey;
    }
    const auto account = settings.keyAccount();
    if (account.empty()) return std::nullopt;
    return m_keychain.key(account);
}

bool Answers::hasKey() const {
    const auto key = keyFor(m_settings);
    return key && !key->empty();
}

void Answers::apply(const AnswerSettings& settings, const std::optional<std::string>& typedKey) {
    const auto account = settings.keyAccount();
    if (typedKey && !account.empty() && settings.mayCarryKey())
        m_keychain.setKey(account, typedKey);
    if (account != m_settings.keyAccount()) m_environmentKey.reset();
    m_settings = settings;
    save();
    if (m_supervisor) m_supervisor->apply(m_settings, keyFor(m_settings));
    if (onChanged) onChanged();
}

void Answers::test(const AnswerSettings& settings, const std::optional<std::string>& typedKey,
                   std::function<void(ProviderCheck::Outcome)> completion) {
    const auto key = typedKey && settings.mayCarryKey() ? typedKey : keyFor(settings);
    m_check->test(settings, key.value_or(""), std::move(completion));
}

void Answers::listModels(const std::string& baseUrl,
                         std::function<void(ProviderCheck::Models)> completion) {
    m_check->listModels(baseUrl, std::move(completion));
}

void Answers::save() const {
    if (m_settingsFile.empty()) return;
    if (files::ensurePrivateDirectory(m_settingsFile.parent_path())) return;
    files::writePrivate(m_settingsFile, m_settings.toJson().dump(2) + "\n");
}

QString Answers::note() const {
    const auto title = QString::fromUtf8(AnswerSettings::title(m_settings.source).data());
    if (!m_supervisor) return QStringLiteral("Answers come from the Orvane backend.");
    switch (m_supervisor->state()) {
        case BackendSupervisor::State::running:
            return QStringLiteral("Orvane's own answer service runs on this computer: %1.")
                .arg(title);
        case BackendSupervisor::State::starting:
            return QStringLiteral("Starting Orvane's answer service...");
        case BackendSupervisor::State::foreign:
            return QStringLiteral(
                "An answer service started outside Orvane answers on this computer; these "
                "settings apply once Orvane runs its own (quit that one, or Orvane).");
        case BackendSupervisor::State::failed:
            return QStringLiteral("Orvane's answer service could not be kept running.");
        case BackendSupervisor::State::idle:
            break;
    }
    return {};
}

}  // namespace orvane
