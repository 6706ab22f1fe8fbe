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

    struct Rotation {
        enum class Outcome {
            rotated,   // the token is used up now and its successor stored
            replayed,  // it was rotated within the grace: the same successor stands
            unknown,
            expired,
            reused,  // presented again after the grace: it leaked, the family is revoked
            revoked,
        } outcome;
        std::int64_t userId = 0;
        std::string family;
        // When the token was used up (now, or the first time for a replay).
        std::int64_t rotatedAt = 0;
    };
    // Uses up a refresh token and stores its successor (same user and family, valid for
    // lifetime seconds from rotatedAt) in one transaction, so no two presentations can both
    // rotate it. Presenting a used token again within graceSeconds of its rotation (a reply lost
    // on the way, or two renewals at once) replays the rotation; later, its whole family is
    // revoked, the successors included.
    Rotation rotateRefreshToken(const std::string& tokenHash, const std::string& successorHash,
                                std::int64_t now, std::int64_t graceSeconds, std::int64_t lifetime);
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
