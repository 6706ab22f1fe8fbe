// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "accounts/AuthManager.h"

namespace orvane {

AuthManager& AuthManager::shared() {
    static AuthManager instance;
    return instance;
}

std::optional<std::string> AuthManager::userName() const {
    if (!m_user || !m_user->is_object()) return std::nullopt;
    const auto it = m_user->find("firstName");
    if (it == m_user->end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

void AuthManager::signOut() {
    m_accessToken.reset();
    m_refreshToken.reset();
    m_user.reset();
}

}  // namespace orvane
