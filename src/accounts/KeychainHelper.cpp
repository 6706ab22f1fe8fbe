// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "accounts/KeychainHelper.h"

#include "platform/SecretStore.h"
#include "protocol/Utf8.h"

namespace orvane {

void KeychainHelper::setKey(const std::string& account, const std::optional<std::string>& key) {
    if (key) {
        save(account, *key);
    } else {
        remove(account);
    }
}

bool KeychainHelper::hasAPIKey() const {
    const auto key = apiKey();
    return key && !key->empty();
}

std::optional<std::string> KeychainHelper::read(const std::string& account) const {
    const auto bytes = m_store.read(service, account);
    if (!bytes) return std::nullopt;
    std::string text(bytes->begin(), bytes->end());
    if (!utf8::isValid(text)) return std::nullopt;
    return text;
}

// Removing first means a failed save leaves nothing rather than the old value.
void KeychainHelper::save(const std::string& account, const std::string& value) {
    remove(account);
    m_store.save(service, account, std::vector<std::uint8_t>(value.begin(), value.end()));
}

void KeychainHelper::remove(const std::string& account) {
    m_store.remove(service, account);
}

}  // namespace orvane
