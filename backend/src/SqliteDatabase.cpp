// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "SqliteDatabase.h"

#include <sqlite3.h>

#include <ctime>
#include <stdexcept>

namespace orvane::backend {

namespace {

// A prepared statement that finalizes itself.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) != SQLITE_OK) {
            throw std::runtime_error(std::string("database: ") + sqlite3_errmsg(db));
        }
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement& bind(int index, const std::string& text) {
        sqlite3_bind_text(m_statement, index, text.c_str(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int index, std::int64_t value) {
        sqlite3_bind_int64(m_statement, index, value);
        return *this;
    }
    bool step() {
        const int result = sqlite3_step(m_statement);
        if (result != SQLITE_ROW && result != SQLITE_DONE) {
            throw std::runtime_error(std::string("database: ") +
                                     sqlite3_errmsg(sqlite3_db_handle(m_statement)));
        }
        return result == SQLITE_ROW;
    }
    std::string text(int column) {
        const auto* value = sqlite3_column_text(m_statement, column);
        return value ? reinterpret_cast<const char*>(value) : "";
    }
    std::int64_t integer(int column) { return sqlite3_column_int64(m_statement, column); }
    bool isNull(int column) { return sqlite3_column_type(m_statement, column) == SQLITE_NULL; }

private:
    sqlite3_stmt* m_statement = nullptr;
};

constexpr const char* kUserColumns = "id, provider, subject, email, first_name, disabled";

User readUser(Statement& row) {
    return User{row.integer(0), row.text(1), row.text(2),
                row.text(3),    row.text(4), row.integer(5) != 0};
}

}  // namespace

SqliteDatabase::SqliteDatabase(const std::string& path) {
    if (sqlite3_open(path.c_str(), &m_db) != SQLITE_OK) {
        const std::string message = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        throw std::runtime_error("cannot open database " + path + ": " + message);
    }
    sqlite3_busy_timeout(m_db, 5000);
    execute("PRAGMA journal_mode=WAL");
    execute("PRAGMA foreign_keys=ON");
    execute(
        "CREATE TABLE IF NOT EXISTS users ("
        " id INTEGER PRIMARY KEY AUTOINCREMENT,"
        " provider TEXT NOT NULL, subject TEXT NOT NULL,"
        " email TEXT NOT NULL DEFAULT '', first_name TEXT NOT NULL DEFAULT '',"
        " disabled INTEGER NOT NULL DEFAULT 0,"
        " created_at INTEGER NOT NULL,"
        " UNIQUE (provider, subject))");
    execute(
        "CREATE TABLE IF NOT EXISTS refresh_tokens ("
        " token_hash TEXT PRIMARY KEY,"
        " user_id INTEGER NOT NULL REFERENCES users(id),"
        " created_at INTEGER NOT NULL, expires_at INTEGER NOT NULL)");
    // Databases made before refresh tokens rotated lack these columns; their tokens each become a
    // family of their own.
    if (!hasColumn("refresh_tokens", "family")) {
        execute("ALTER TABLE refresh_tokens ADD COLUMN family TEXT NOT NULL DEFAULT ''");
        execute("UPDATE refresh_tokens SET family = token_hash WHERE family = ''");
    }
    if (!hasColumn("refresh_tokens", "used_at")) {
        execute("ALTER TABLE refresh_tokens ADD COLUMN used_at INTEGER");
    }
    if (!hasColumn("refresh_tokens", "revoked")) {
        execute("ALTER TABLE refresh_tokens ADD COLUMN revoked INTEGER NOT NULL DEFAULT 0");
    }
    execute("CREATE INDEX IF NOT EXISTS refresh_tokens_family ON refresh_tokens (family)");
    execute("CREATE INDEX IF NOT EXISTS refresh_tokens_expiry ON refresh_tokens (expires_at)");
    execute(
        "CREATE TABLE IF NOT EXISTS used_identity_tokens ("
        " token_hash TEXT PRIMARY KEY, expires_at INTEGER NOT NULL)");
}

bool SqliteDatabase::hasColumn(const char* table, const char* column) {
    Statement info(m_db, (std::string("PRAGMA table_info(") + table + ")").c_str());
    while (info.step()) {
        if (info.text(1) == column) return true;
    }
    return false;
}

SqliteDatabase::~SqliteDatabase() {
    sqlite3_close(m_db);
}

void SqliteDatabase::execute(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error("database: " + message);
    }
}

User SqliteDatabase::findOrCreateUser(const std::string& provider, const std::string& subject,
                                      const std::string& email, const std::string& firstName) {
    std::lock_guard lock(m_mutex);
    Statement upsert(m_db,
                     "INSERT INTO users (provider, subject, email, first_name, created_at) "
                     "VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT (provider, subject) DO UPDATE SET "
                     "email = excluded.email, first_name = excluded.first_name");
    upsert.bind(1, provider).bind(2, subject).bind(3, email).bind(4, firstName);
    upsert.bind(5, static_cast<std::int64_t>(std::time(nullptr)));
    upsert.step();
    Statement select(m_db, (std::string("SELECT ") + kUserColumns +
                            " FROM users WHERE provider = ?1 AND subject = ?2")
                               .c_str());
    select.bind(1, provider).bind(2, subject);
    select.step();
    return readUser(select);
}

std::optional<User> SqliteDatabase::userById(std::int64_t id) {
    std::lock_guard lock(m_mutex);
    Statement select(m_db,
                     (std::string("SELECT ") + kUserColumns + " FROM users WHERE id = ?1").c_str());
    select.bind(1, id);
    if (!select.step()) return std::nullopt;
    return readUser(select);
}

void SqliteDatabase::setDisabled(std::int64_t userId, bool disabled) {
    std::lock_guard lock(m_mutex);
    Statement update(m_db, "UPDATE users SET disabled = ?1 WHERE id = ?2");
    update.bind(1, std::int64_t{disabled ? 1 : 0}).bind(2, userId);
    update.step();
}

void SqliteDatabase::storeRefreshToken(const std::string& tokenHash, std::int64_t userId,
                                       const std::string& family, std::int64_t expiresAt,
                                       std::int64_t now) {
    std::lock_guard lock(m_mutex);
    Statement prune(m_db, "DELETE FROM refresh_tokens WHERE expires_at <= ?1");
    prune.bind(1, now).step();
    Statement insert(m_db,
                     "INSERT INTO refresh_tokens (token_hash, user_id, family, created_at, "
                     "expires_at) VALUES (?1, ?2, ?3, ?4, ?5)");
    insert.bind(1, tokenHash).bind(2, userId).bind(3, family);
    insert.bind(4, now).bind(5, expiresAt);
    insert.step();
}

Database::Rotation SqliteDatabase::rotateRefreshToken(const std::string& tokenHash,
                                                      const std::string& successorHash,
                                                      std::int64_t now, std::int64_t graceSeconds,
                                                      std::int64_t lifetime) {
    using Outcome = Rotation::Outcome;
    std::lock_guard lock(m_mutex);
    execute("BEGIN IMMEDIATE");
    try {
        Statement select(m_db,
                         "SELECT user_id, family, expires_at, used_at, revoked "
                         "FROM refresh_tokens WHERE token_hash = ?1");
        select.bind(1, tokenHash);
        Rotation rotation{Outcome::unknown, 0, {}, now};
        if (select.step()) {
            rotation.userId = select.integer(0);
            rotation.family = select.text(1);
            const bool used = !select.isNull(3);
            const auto usedAt = select.integer(3);
            // A reply lost on the way is presented again before its successor was ever used;
            // once the successor was, the old token is only good to a thief.
            const auto successorUnused = [&] {
                Statement successor(m_db,
                                    "SELECT 1 FROM refresh_tokens WHERE token_hash = ?1 AND "
                                    "used_at IS NULL AND revoked = 0");
                successor.bind(1, successorHash);
                return successor.step();
            };
            if (select.integer(4) != 0) {
                rotation.outcome = Outcome::revoked;
            } else if (used && now - usedAt < graceSeconds && successorUnused()) {
                rotation.outcome = Outcome::replayed;
                rotation.rotatedAt = usedAt;
            } else if (used) {
                // Whoever holds the newer token may be the thief or the owner; neither keeps it.
                Statement revoke(m_db, "UPDATE refresh_tokens SET revoked = 1 WHERE family = ?1");
                revoke.bind(1, rotation.family).step();
                rotation.outcome = Outcome::reused;
            } else if (select.integer(2) <= now) {
                rotation.outcome = Outcome::expired;
            } else {
                Statement use(m_db, "UPDATE refresh_tokens SET used_at = ?1 WHERE token_hash = ?2");
                use.bind(1, now).bind(2, tokenHash).step();
                Statement insert(m_db,
                                 "INSERT INTO refresh_tokens (token_hash, user_id, family, "
                                 "created_at, expires_at) VALUES (?1, ?2, ?3, ?4, ?5)");
                insert.bind(1, successorHash).bind(2, rotation.userId).bind(3, rotation.family);
                insert.bind(4, now).bind(5, now + lifetime).step();
                rotation.outcome = Outcome::rotated;
            }
        }
        execute("COMMIT");
        return rotation;
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

bool SqliteDatabase::isFamilyRevoked(const std::string& family) {
    std::lock_guard lock(m_mutex);
    Statement select(m_db,
                     "SELECT 1 FROM refresh_tokens WHERE family = ?1 AND revoked = 1 LIMIT 1");
    select.bind(1, family);
    return select.step();
}

std::optional<std::int64_t> SqliteDatabase::refreshTokenOwner(const std::string& tokenHash,
                                                              std::int64_t now) {
    std::lock_guard lock(m_mutex);
    Statement select(m_db,
                     "SELECT user_id FROM refresh_tokens WHERE token_hash = ?1 AND expires_at > ?2 "
                     "AND used_at IS NULL AND revoked = 0");
    select.bind(1, tokenHash).bind(2, now);
    if (!select.step()) return std::nullopt;
    return select.integer(0);
}

int SqliteDatabase::refreshTokenCount() {
    std::lock_guard lock(m_mutex);
    Statement count(m_db, "SELECT COUNT(*) FROM refresh_tokens");
    count.step();
    return static_cast<int>(count.integer(0));
}

bool SqliteDatabase::firstUseOfIdentityToken(const std::string& tokenHash, std::int64_t expiresAt,
                                             std::int64_t now) {
    std::lock_guard lock(m_mutex);
    Statement prune(m_db, "DELETE FROM used_identity_tokens WHERE expires_at <= ?1");
    prune.bind(1, now).step();
    Statement insert(m_db,
                     "INSERT INTO used_identity_tokens (token_hash, expires_at) VALUES (?1, ?2) "
                     "ON CONFLICT (token_hash) DO NOTHING");
    insert.bind(1, tokenHash).bind(2, expiresAt).step();
    return sqlite3_changes(m_db) == 1;
}

}  // namespace orvane::backend
