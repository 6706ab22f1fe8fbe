// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <mutex>

#include "Database.h"

struct sqlite3;

namespace orvane::backend {

// The database of one instance, in a SQLite file, so a restart loses no account. One connection
// guarded by a mutex is plenty for this load.
class SqliteDatabase : public Database {
public:
    explicit SqliteDatabase(const std::string& path);
    ~SqliteDatabase() override;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    User findOrCreateUser(const std::string& provider, const std::string& subject,
                          const std::string& email, const std::string& firstName) override;
    std::optional<User> userById(std::int64_t id) override;
    void setDisabled(std::int64_t userId, bool disabled) override;
    void storeRefreshToken(const std::string& tokenHash, std::int64_t userId,
                           const std::string& family, std::int64_t expiresAt,
                           std::int64_t now) override;
    Rotation rotateRefreshToken(const std::string& tokenHash, const std::string& successorHash,
                                std::int64_t now, std::int64_t graceSeconds,
                                std::int64_t lifetime) override;
    bool isFamilyRevoked(const std::string& family) override;
    std::optional<std::int64_t> refreshTokenOwner(const std::string& tokenHash,
                                                  std::int64_t now) override;
    int refreshTokenCount() override;
    bool firstUseOfIdentityToken(const std::string& tokenHash, std::int64_t expiresAt,
                                 std::int64_t now) override;
    std::optional<std::string> sharedSecret(const std::string&) override { return std::nullopt; }
    bool isReachable() override { return true; }

private:
    void execute(const char* sql);
    bool hasColumn(const char* table, const char* column);

    std::mutex m_mutex;
    sqlite3* m_db = nullptr;
};

}  // namespace orvane::backend
