// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <optional>
#include <string>

namespace orvane {

class SecretStore;

// Small secret strings kept in the desktop's secret store under the service
// "com.orvane.desktop", one value per account. Nothing is reported: a value that cannot be read
// (missing, store unavailable, not UTF-8) is absent.
class KeychainHelper {
public:
    static constexpr const char* service = "com.orvane.desktop";
    static constexpr const char* apiKeyAccount = "anthropic-api-key";
    static constexpr const char* openAiKeyAccount = "openai-api-key";

    explicit KeychainHelper(SecretStore& store) : m_store(store) {}

    std::optional<std::string> apiKey() const { return read(apiKeyAccount); }
    // A value is saved in place of any earlier one; absent removes it.
    void setApiKey(const std::optional<std::string>& key) { setKey(apiKeyAccount, key); }
    bool hasAPIKey() const;
    // The same for the key of another account ("openai-api-key").
    std::optional<std::string> key(const std::string& account) const { return read(account); }
    void setKey(const std::string& account, const std::optional<std::string>& key);

private:
    std::optional<std::string> read(const std::string& account) const;
    void save(const std::string& account, const std::string& value);
    void remove(const std::string& account);

    SecretStore& m_store;
};

}  // namespace orvane
