// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "Database.h"

struct pg_conn;

namespace orvane::backend {

// The database several instances share, in PostgreSQL. The schema is brought up to date at start
// under an advisory lock, so instances starting at once migrate it once. Connections come from a
// small pool; one the server has dropped (a restart, a failover) is let go of and a new one made,
// and while none can be made every call throws DatabaseUnavailable.
class PostgresDatabase : public Database, public SharedLimits {
public:
    // `uri`: a libpq connection URI ("postgres://user@host:port/name"). Throws when the database
    // cannot be reached or migrated.
    explicit PostgresDatabase(std::string uri, std::size_t connections = 8);
    ~PostgresDatabase() override;
    PostgresDatabase(const PostgresDatabase&) = delete;
    PostgresDatabase& operator=(const PostgresDatabase&) = delete;

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
    std::optional<std::string> sharedSecret(const std::string& candidate) override;
    bool isReachable() override;
    SharedLimits* sharedLimits() override { return this; }

    bool takeFromBucket(const std::string& key, int perMinute, std::int64_t nowMs) override;
    bool acquireStreamLease(const std::string& lease, std::int64_t userId, int perUser,
                            std::int64_t now, std::int64_t expiresAt) override;
    void renewStreamLeases(const std::vector<std::string>& leases, std::int64_t expiresAt) override;
    void releaseStreamLease(const std::string& lease) override;
    int streamLeases(std::int64_t userId, std::int64_t now) override;

    // The schema's version once migrated.
    static int schemaVersion();

    class Lease;

private:
    void migrate();

    std::string m_uri;
    std::size_t m_capacity;
    std::mutex m_mutex;
    std::condition_variable m_returned;
    std::vector<pg_conn*> m_idle;
    std::size_t m_open = 0;
    std::atomic<std::uint64_t> m_bucketCalls{0};
};

}  // namespace orvane::backend
