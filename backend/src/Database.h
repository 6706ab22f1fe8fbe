// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvane::backend {

struct User {
    std::int64_t id = 0;
    std::string provider;  // "google", "apple" or "dev"
    std::string subject;   // the identity provider's stable user id
    std::string email;
    std::string firstName;
    bool disabled = false;
};

// The database could not be reached: the request can be tried again once it is back.
struct DatabaseUnavailable : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The limits several instances keep together, in the database they share.
class SharedLimits {
public:
    virtual ~SharedLimits() = default;
    // Takes one request from the token bucket under `key`: up to perMinute in a burst, refilled
    // evenly over a minute. False when it is empty.
    virtual bool takeFromBucket(const std::string& key, int perMinute, std::int64_t nowMs) = 0;
    // A lease on one of the user's perUser streams until expiresAt (leases past theirs no longer
    // count); false when the user holds them all.
    virtual bool acquireStreamLease(const std::string& lease, std::int64_t userId, int perUser,
                                    std::int64_t now, std::int64_t expiresAt) = 0;
    virtual void renewStreamLeases(const std::vector<std::string>& leases,
                                   std::int64_t expiresAt) = 0;
    virtual void releaseStreamLease(const std::string& lease) = 0;
    // The leases the user holds now.
    virtual int streamLeases(std::int64_t userId, std::int64_t now) = 0;
};

// What the service keeps: users, refresh tokens and the identity tokens already exchanged. In
// SQLite for one instance (a desktop), or in PostgreSQL for several behind one proxy, where every
// rule below holds across instances. Safe to use from the server's worker threads.
class Database {
public:
    virtual ~Database() = default;

    // The user for this identity, created on first sign-in; name and e-mail follow the provider.
    virtual User findOrCreateUser(const std::string& provider, const std::string& subject,
                                  const std::string& email, const std::string& firstName) = 0;
    virtual std::optional<User> userById(std::int64_t id) = 0;
    virtual void setDisabled(std::int64_t userId, bool disabled) = 0;

    // Stores a refresh token of a sign-in's token family, and drops the rows that have expired.
    virtual void storeRefreshToken(const std::string& tokenHash, std::int64_t userId,
                                   const std::string& family, std::int64_t expiresAt,
                                   std::int64_t now) = 0;

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
    // on the way, or two renewals at once) replays the rotation while the successor is still
    // unused; later, or once the successor was used, its whole family is revoked, the
    // successors included.
    virtual Rotation rotateRefreshToken(const std::string& tokenHash,
                                        const std::string& successorHash, std::int64_t now,
                                        std::int64_t graceSeconds, std::int64_t lifetime) = 0;
    // The user a stored, unused, unexpired refresh token belongs to.
    // Whether a sign-in's refresh tokens were revoked (a reuse found it leaked): its access
    // tokens are then refused too, before they expire.
    virtual bool isFamilyRevoked(const std::string& family) = 0;
    virtual std::optional<std::int64_t> refreshTokenOwner(const std::string& tokenHash,
                                                          std::int64_t now) = 0;
    virtual int refreshTokenCount() = 0;

    // Records an identity token exchanged for a sign-in until it expires; false when it was
    // exchanged before (it was copied on its way, and signs nobody in a second time).
    virtual bool firstUseOfIdentityToken(const std::string& tokenHash, std::int64_t expiresAt,
                                         std::int64_t now) = 0;

    // The secret every instance sharing this database signs tokens with: the one stored, or
    // `candidate`, stored now by whichever instance comes first. None for a database of one
    // instance, which keeps its secret in a file of its own.
    virtual std::optional<std::string> sharedSecret(const std::string& candidate) = 0;

    // Whether the database answers now (for readiness checks).
    virtual bool isReachable() = 0;
    // The limits of the instances sharing this database; none for a database of one instance,
    // which keeps its limits in memory.
    virtual SharedLimits* sharedLimits() { return nullptr; }
};

// "postgres://…" or "postgresql://…" (a libpq connection URI) opens PostgreSQL; anything else
// is the path of a SQLite file. Throws when it cannot be opened.
std::unique_ptr<Database> openDatabase(const std::string& location);
bool isPostgresLocation(const std::string& location);

}  // namespace orvane::backend
