// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "PostgresDatabase.h"

#include <libpq-fe.h>

#include <algorithm>
#include <ctime>
#include <initializer_list>
#include <utility>

namespace orvane::backend {

namespace {

// Held while the schema is migrated; any number the project owns would do.
constexpr std::int64_t kMigrationLock = 0x6f7276616e65;  // "orvane"
// The first half of each user's lock over their stream leases.
constexpr std::int32_t kLeaseLock = 0x6f72;

// Each step brings the schema one version on; a step is never changed once released.
const std::initializer_list<const char*> kMigrations = {
    "CREATE TABLE users ("
    " id BIGSERIAL PRIMARY KEY,"
    " provider TEXT NOT NULL, subject TEXT NOT NULL,"
    " email TEXT NOT NULL DEFAULT '', first_name TEXT NOT NULL DEFAULT '',"
    " disabled BOOLEAN NOT NULL DEFAULT FALSE,"
    " created_at BIGINT NOT NULL,"
    " UNIQUE (provider, subject));"
    "CREATE TABLE refresh_tokens ("
    " token_hash TEXT PRIMARY KEY,"
    " user_id BIGINT NOT NULL REFERENCES users(id),"
    " family TEXT NOT NULL,"
    " created_at BIGINT NOT NULL, expires_at BIGINT NOT NULL,"
    " used_at BIGINT, revoked BOOLEAN NOT NULL DEFAULT FALSE);"
    "CREATE INDEX refresh_tokens_family ON refresh_tokens (family);"
    "CREATE INDEX refresh_tokens_expiry ON refresh_tokens (expires_at);"
    "CREATE TABLE used_identity_tokens (token_hash TEXT PRIMARY KEY, expires_at BIGINT NOT NULL);"
    "CREATE INDEX used_identity_tokens_expiry ON used_identity_tokens (expires_at);"
    "CREATE TABLE signing_secret (id INTEGER PRIMARY KEY CHECK (id = 1), secret TEXT NOT NULL);",
    "CREATE TABLE rate_buckets ("
    " key TEXT PRIMARY KEY, tokens DOUBLE PRECISION NOT NULL, updated_ms BIGINT NOT NULL);"
    "CREATE INDEX rate_buckets_updated ON rate_buckets (updated_ms);"
    "CREATE TABLE stream_leases ("
    " id TEXT PRIMARY KEY, user_id BIGINT NOT NULL, expires_at BIGINT NOT NULL);"
    "CREATE INDEX stream_leases_user ON stream_leases (user_id);",
};

// A query's result, cleared when it goes.
class Result {
public:
    explicit Result(PGresult* result) : m_result(result) {}
    ~Result() { PQclear(m_result); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    Result(Result&& other) noexcept : m_result(std::exchange(other.m_result, nullptr)) {}

    int rows() const { return PQntuples(m_result); }
    std::string text(int row, int column) const { return PQgetvalue(m_result, row, column); }
    std::int64_t integer(int row, int column) const {
        return std::stoll(PQgetvalue(m_result, row, column));
    }
    bool boolean(int row, int column) const { return text(row, column) == "t"; }
    bool isNull(int row, int column) const { return PQgetisnull(m_result, row, column) != 0; }
    ExecStatusType status() const { return PQresultStatus(m_result); }
    int changed() const {
        const char* count = PQcmdTuples(m_result);
        return *count ? std::stoi(count) : 0;
    }

private:
    PGresult* m_result;
};

constexpr const char* kUserColumns = "id, provider, subject, email, first_name, disabled";

User readUser(const Result& row) {
    return User{row.integer(0, 0), row.text(0, 1), row.text(0, 2),
                row.text(0, 3),    row.text(0, 4), row.boolean(0, 5)};
}

}  // namespace

// A connection taken from the pool for one call, given back when the call is done (or let go of,
// when the server dropped it).
class PostgresDatabase::Lease {
public:
    explicit Lease(PostgresDatabase& database) : m_database(database) {
        std::unique_lock lock(database.m_mutex);
        database.m_returned.wait(lock, [&] {
            return !database.m_idle.empty() || database.m_open < database.m_capacity;
        });
        while (!database.m_idle.empty()) {
            m_connection = database.m_idle.back();
            database.m_idle.pop_back();
            // A connection the server closed while it was idle shows it here, without a round
            // trip: it is let go of, and another taken.
            if (PQconsumeInput(m_connection) && PQstatus(m_connection) == CONNECTION_OK) return;
            PQfinish(m_connection);
            m_connection = nullptr;
            --database.m_open;
        }
        ++database.m_open;
        lock.unlock();
        m_connection = PQconnectdb(database.m_uri.c_str());
        if (PQstatus(m_connection) != CONNECTION_OK) {
            const std::string message = PQerrorMessage(m_connection);
            giveBack(false);
            throw DatabaseUnavailable("the database is not reachable: " + message);
        }
        // The server's notices ("already exists, skipping") are for people at a console.
        PQsetNoticeProcessor(
            m_connection, [](void*, const char*) {}, nullptr);
    }
    ~Lease() { giveBack(m_connection && PQstatus(m_connection) == CONNECTION_OK); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    Result run(const char* sql, std::initializer_list<std::string> parameters = {}) {
        std::vector<const char*> values;
        for (const auto& parameter : parameters) values.push_back(parameter.c_str());
        Result result(PQexecParams(m_connection, sql, static_cast<int>(values.size()), nullptr,
                                   values.data(), nullptr, nullptr, 0));
        return check(std::move(result));
    }
    // Several statements at once, without parameters (a migration).
    void runScript(const char* sql) { check(Result(PQexec(m_connection, sql))); }

private:
    Result check(Result result) {
        // PQexec* hand back a result even when they fail; its status says how.
        if (result.status() == PGRES_COMMAND_OK || result.status() == PGRES_TUPLES_OK)
            return result;
        const std::string message = PQerrorMessage(m_connection);
        if (PQstatus(m_connection) != CONNECTION_OK) {
            throw DatabaseUnavailable("the database connection was lost: " + message);
        }
        throw std::runtime_error("database: " + message);
    }
    void giveBack(bool reusable) {
        std::lock_guard lock(m_database.m_mutex);
        if (reusable) {
            m_database.m_idle.push_back(m_connection);
        } else {
            if (m_connection) PQfinish(m_connection);
            --m_database.m_open;
        }
        m_connection = nullptr;
        m_database.m_returned.notify_one();
    }

    PostgresDatabase& m_database;
    pg_conn* m_connection = nullptr;
};

namespace {

// BEGIN now, ROLLBACK unless commit() was reached.
class Transaction {
public:
    explicit Transaction(PostgresDatabase::Lease& lease) : m_lease(lease) { lease.run("BEGIN"); }
    ~Transaction() {
        if (m_open) {
            try {
                m_lease.run("ROLLBACK");
            } catch (...) {
            }
        }
    }
    void commit() {
        m_lease.run("COMMIT");
        m_open = false;
    }

private:
    PostgresDatabase::Lease& m_lease;
    bool m_open = true;
};

std::string number(std::int64_t value) {
    return std::to_string(value);
}

}  // namespace

PostgresDatabase::PostgresDatabase(std::string uri, std::size_t connections)
    : m_uri(std::move(uri)), m_capacity(std::max<std::size_t>(connections, 1)) {
    migrate();
}

PostgresDatabase::~PostgresDatabase() {
    for (auto* connection : m_idle) PQfinish(connection);
}

int PostgresDatabase::schemaVersion() {
    return static_cast<int>(kMigrations.size());
}

void PostgresDatabase::migrate() {
    Lease lease(*this);
    lease.run("SELECT pg_advisory_lock($1)", {number(kMigrationLock)});
    try {
        lease.run(
            "CREATE TABLE IF NOT EXISTS schema_migrations ("
            " version INTEGER PRIMARY KEY, applied_at BIGINT NOT NULL)");
        const auto applied = lease.run("SELECT COALESCE(MAX(version), 0) FROM schema_migrations");
        int version = static_cast<int>(applied.integer(0, 0));
        if (version > schemaVersion()) {
            throw std::runtime_error("the database's schema (version " + std::to_string(version) +
                                     ") is newer than this orvane-backend knows (version " +
                                     std::to_string(schemaVersion()) + ")");
        }
        for (auto step = kMigrations.begin() + version; step != kMigrations.end(); ++step) {
            Transaction transaction(lease);
            lease.runScript(*step);
            lease.run("INSERT INTO schema_migrations (version, applied_at) VALUES ($1, $2)",
                      {number(++version), number(std::time(nullptr))});
            transaction.commit();
        }
    } catch (...) {
        try {
            lease.run("SELECT pg_advisory_unlock($1)", {number(kMigrationLock)});
        } catch (...) {
        }
        throw;
    }
    lease.run("SELECT pg_advisory_unlock($1)", {number(kMigrationLock)});
}

User PostgresDatabase::findOrCreateUser(const std::string& provider, const std::string& subject,
                                        const std::string& email, const std::string& firstName) {
    Lease lease(*this);
    return readUser(lease.run(
        (std::string("INSERT INTO users (provider, subject, email, first_name, created_at) "
                     "VALUES ($1, $2, $3, $4, $5) ON CONFLICT (provider, subject) DO UPDATE SET "
                     "email = EXCLUDED.email, first_name = EXCLUDED.first_name RETURNING ") +
         kUserColumns)
            .c_str(),
        {provider, subject, email, firstName, number(std::time(nullptr))}));
}

std::optional<User> PostgresDatabase::userById(std::int64_t id) {
    Lease lease(*this);
    const auto row =
        lease.run((std::string("SELECT ") + kUserColumns + " FROM users WHERE id = $1").c_str(),
                  {number(id)});
    if (row.rows() == 0) return std::nullopt;
    return readUser(row);
}

void PostgresDatabase::setDisabled(std::int64_t userId, bool disabled) {
    Lease lease(*this);
    lease.run("UPDATE users SET disabled = $1 WHERE id = $2",
              {disabled ? "true" : "false", number(userId)});
}

void PostgresDatabase::storeRefreshToken(const std::string& tokenHash, std::int64_t userId,
                                         const std::string& family, std::int64_t expiresAt,
                                         std::int64_t now) {
    Lease lease(*this);
    lease.run("DELETE FROM refresh_tokens WHERE expires_at <= $1", {number(now)});
    lease.run(
        "INSERT INTO refresh_tokens (token_hash, user_id, family, created_at, expires_at) "
        "VALUES ($1, $2, $3, $4, $5)",
        {tokenHash, number(userId), family, number(now), number(expiresAt)});
}

// The token's row is locked for the transaction, so presentations at once, on any instance, take
// their turns: the first rotates it, the others find it used.
Database::Rotation PostgresDatabase::rotateRefreshToken(const std::string& tokenHash,
                                                        const std::string& successorHash,
                                                        std::int64_t now, std::int64_t graceSeconds,
                                                        std::int64_t lifetime) {
    using Outcome = Rotation::Outcome;
    Lease lease(*this);
    Transaction transaction(lease);
    const auto row = lease.run(
        "SELECT user_id, family, expires_at, used_at, revoked FROM refresh_tokens "
        "WHERE token_hash = $1 FOR UPDATE",
        {tokenHash});
    Rotation rotation{Outcome::unknown, 0, {}, now};
    if (row.rows() == 1) {
        rotation.userId = row.integer(0, 0);
        rotation.family = row.text(0, 1);
        const bool used = !row.isNull(0, 3);
        const auto usedAt = used ? row.integer(0, 3) : 0;
        // A reply lost on the way is presented again before its successor was ever used; once
        // the successor was, the old token is only good to a thief.
        const auto successorUnused = [&] {
            return lease
                       .run(
                           "SELECT 1 FROM refresh_tokens WHERE token_hash = $1 AND used_at IS "
                           "NULL AND NOT revoked",
                           {successorHash})
                       .rows() == 1;
        };
        if (row.boolean(0, 4)) {
            rotation.outcome = Outcome::revoked;
        } else if (used && now - usedAt < graceSeconds && successorUnused()) {
            rotation.outcome = Outcome::replayed;
            rotation.rotatedAt = usedAt;
        } else if (used) {
            // Whoever holds the newer token may be the thief or the owner; neither keeps it.
            lease.run("UPDATE refresh_tokens SET revoked = TRUE WHERE family = $1",
                      {rotation.family});
            rotation.outcome = Outcome::reused;
        } else if (row.integer(0, 2) <= now) {
            rotation.outcome = Outcome::expired;
        } else {
            lease.run("UPDATE refresh_tokens SET used_at = $1 WHERE token_hash = $2",
                      {number(now), tokenHash});
            lease.run(
                "INSERT INTO refresh_tokens (token_hash, user_id, family, created_at, expires_at) "
                "VALUES ($1, $2, $3, $4, $5)",
                {successorHash, number(rotation.userId), rotation.family, number(now),
                 number(now + lifetime)});
            rotation.outcome = Outcome::rotated;
        }
    }
    transaction.commit();
    return rotation;
}

bool PostgresDatabase::isFamilyRevoked(const std::string& family) {
    Lease lease(*this);
    return lease.run("SELECT 1 FROM refresh_tokens WHERE family = $1 AND revoked LIMIT 1", {family})
               .rows() == 1;
}

std::optional<std::int64_t> PostgresDatabase::refreshTokenOwner(const std::string& tokenHash,
                                                                std::int64_t now) {
    Lease lease(*this);
    const auto row = lease.run(
        "SELECT user_id FROM refresh_tokens WHERE token_hash = $1 AND expires_at > $2 "
        "AND used_at IS NULL AND NOT revoked",
        {tokenHash, number(now)});
    if (row.rows() == 0) return std::nullopt;
    return row.integer(0, 0);
}

int PostgresDatabase::refreshTokenCount() {
    Lease lease(*this);
    return static_cast<int>(lease.run("SELECT COUNT(*) FROM refresh_tokens").integer(0, 0));
}

bool PostgresDatabase::firstUseOfIdentityToken(const std::string& tokenHash, std::int64_t expiresAt,
                                               std::int64_t now) {
    Lease lease(*this);
    lease.run("DELETE FROM used_identity_tokens WHERE expires_at <= $1", {number(now)});
    return lease
               .run(
                   "INSERT INTO used_identity_tokens (token_hash, expires_at) VALUES ($1, $2) "
                   "ON CONFLICT (token_hash) DO NOTHING",
                   {tokenHash, number(expiresAt)})
               .changed() == 1;
}

std::optional<std::string> PostgresDatabase::sharedSecret(const std::string& candidate) {
    Lease lease(*this);
    lease.run("INSERT INTO signing_secret (id, secret) VALUES (1, $1) ON CONFLICT (id) DO NOTHING",
              {candidate});
    return lease.run("SELECT secret FROM signing_secret WHERE id = 1").text(0, 0);
}

bool PostgresDatabase::takeFromBucket(const std::string& key, int perMinute, std::int64_t nowMs) {
    Lease lease(*this);
    // Buckets that have filled up again hold nothing worth keeping; one sweep in a thousand
    // calls keeps the table to the keys still asking.
    if (++m_bucketCalls % 1000 == 0) {
        lease.run("DELETE FROM rate_buckets WHERE updated_ms < $1", {number(nowMs - 60'000)});
    }
    Transaction transaction(lease);
    lease.run(
        "INSERT INTO rate_buckets (key, tokens, updated_ms) VALUES ($1, $2, $3) "
        "ON CONFLICT (key) DO NOTHING",
        {key, number(perMinute), number(nowMs)});
    const auto row =
        lease.run("SELECT tokens, updated_ms FROM rate_buckets WHERE key = $1 FOR UPDATE", {key});
    const double elapsedMinutes =
        static_cast<double>(std::max<std::int64_t>(0, nowMs - row.integer(0, 1))) / 60'000.0;
    double tokens =
        std::min<double>(perMinute, std::stod(row.text(0, 0)) + elapsedMinutes * perMinute);
    const bool allowed = tokens >= 1.0;
    if (allowed) tokens -= 1.0;
    lease.run("UPDATE rate_buckets SET tokens = $2, updated_ms = $3 WHERE key = $1",
              {key, std::to_string(tokens), number(nowMs)});
    transaction.commit();
    return allowed;
}

// A user's leases are counted and taken under a lock of that user's, so two instances cannot
// both take the last one.
bool PostgresDatabase::acquireStreamLease(const std::string& id, std::int64_t userId, int perUser,
                                          std::int64_t now, std::int64_t expiresAt) {
    Lease lease(*this);
    Transaction transaction(lease);
    lease.run("SELECT pg_advisory_xact_lock($1::integer, hashint8($2::bigint))",
              {number(kLeaseLock), number(userId)});
    lease.run("DELETE FROM stream_leases WHERE user_id = $1 AND expires_at <= $2",
              {number(userId), number(now)});
    const auto held =
        lease.run("SELECT COUNT(*) FROM stream_leases WHERE user_id = $1", {number(userId)});
    if (held.integer(0, 0) >= perUser) return false;
    lease.run("INSERT INTO stream_leases (id, user_id, expires_at) VALUES ($1, $2, $3)",
              {id, number(userId), number(expiresAt)});
    transaction.commit();
    return true;
}

void PostgresDatabase::renewStreamLeases(const std::vector<std::string>& leases,
                                         std::int64_t expiresAt) {
    if (leases.empty()) return;
    std::string list = "{";
    for (const auto& id : leases) list += (list.size() > 1 ? "," : "") + id;
    list += "}";
    Lease lease(*this);
    lease.run("UPDATE stream_leases SET expires_at = $2 WHERE id = ANY($1::text[])",
              {list, number(expiresAt)});
}

void PostgresDatabase::releaseStreamLease(const std::string& id) {
    Lease lease(*this);
    lease.run("DELETE FROM stream_leases WHERE id = $1", {id});
}

int PostgresDatabase::streamLeases(std::int64_t userId, std::int64_t now) {
    Lease lease(*this);
    return static_cast<int>(
        lease
            .run("SELECT COUNT(*) FROM stream_leases WHERE user_id = $1 AND expires_at > $2",
                 {number(userId), number(now)})
            .integer(0, 0));
}

bool PostgresDatabase::isReachable() {
    try {
        Lease lease(*this);
        lease.run("SELECT 1");
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace orvane::backend
