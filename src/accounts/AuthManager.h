// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace orvane {

// The signed-in user's account state, held in memory only: every run starts signed out.
// Read and written on the main thread; the sign-in flows hand their results to it there.
class AuthManager {
public:
    // The process-wide account state the application wires in. Components still take an
    // AuthManager& so that tests can build their own.
    static AuthManager& shared();

    AuthManager() = default;
    AuthManager(const AuthManager&) = delete;
    AuthManager& operator=(const AuthManager&) = delete;

    // True exactly when an access token is held, the empty string included.
    bool isAuthenticated() const { return m_accessToken.has_value(); }
    // The user record's "firstName" when it is a string; nothing otherwise.
    std::optional<std::string> userName() const;

    const std::optional<std::string>& accessToken() const { return m_accessToken; }
    const std::optional<std::string>& refreshToken() const { return m_refreshToken; }
    const std::optional<nlohmann::json>& user() const { return m_user; }
    const std::optional<std::string>& lastError() const { return m_lastError; }

    void setAccessToken(std::optional<std::string> token) { m_accessToken = std::move(token); }
    void setRefreshToken(std::optional<std::string> token) { m_refreshToken = std::move(token); }
    void setUser(std::optional<nlohmann::json> user) { m_user = std::move(user); }
    void setLastError(std::optional<std::string> message) { m_lastError = std::move(message); }

    // Forgets the tokens and the user record; contacts nobody and leaves lastError alone.
    void signOut();

private:
    std::optional<std::string> m_accessToken;
    std::optional<std::string> m_refreshToken;
    std::optional<nlohmann::json> m_user;
    std::optional<std::string> m_lastError;
};

}  // namespace orvane
