// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

struct sqlite3;

namespace orvane::backend {

struct User {
    std::int64_t id = 0;
    std::string provider;  // "google", "apple" or "dev"
    std::string subject;   // the identity provider's stable user id
    std::string email;
    std::string firstName;
    bool disabled = false;
};

// Users and refresh tokens in SQLite, so a restart loses no account. Safe to use from the
// server's worker threads; one connection guarded by a mutex is plenty for this load.
class Database {
public:
    explicit Database(const std::string& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // The user for this identity, created on first sign-in; name and e-mail follow the provider.
    User findOrCreateUser(const std::string& provider, const std::string& subject,
                          const std::string& email, const std::string& firstName);
    std::optional<User> userById(std::int64_t id);
    void setDisabled(std::int64_t userId, bool disabled);

    void storeRefreshToken(const std::string& tokenHash, std::int64_t userId,
                           std::int64_t expiresAt);
    // The user a stored, unexpired refresh token belongs to.
    std::optional<std::int64_t> refreshTokenOwner(const std::string& tokenHash, std::int64_t now);
    int refreshTokenCount();

private:
    void execute(const char* sql);

    std::mutex m_mutex;
    sqlite3* m_db = nullptr;
};

}  // namespace orvane::backend
