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

    // Stores a refresh token of a sign-in's token family, and drops the rows that have expired.
    void storeRefreshToken(const std::string& tokenHash, std::int64_t userId,
                           const std::string& family, std::int64_t expiresAt, std::int64_t now);

    struct RefreshClaim {
        enum class Outcome { accepted, unknown, expired, reused, revoked } outcome;
        std::int64_t userId = 0;
        std::string family;
    };
    // Uses up a refresh token: an accepted token can never be used again. Presenting one that was
    // already used means it leaked, so its whole family is revoked.
    RefreshClaim claimRefreshToken(const std::string& tokenHash, std::int64_t now);
    // The user a stored, unused, unexpired refresh token belongs to.
    std::optional<std::int64_t> refreshTokenOwner(const std::string& tokenHash, std::int64_t now);
    int refreshTokenCount();

private:
    void execute(const char* sql);
    bool hasColumn(const char* table, const char* column);

    std::mutex m_mutex;
    sqlite3* m_db = nullptr;
};

}  // namespace orvane::backend
