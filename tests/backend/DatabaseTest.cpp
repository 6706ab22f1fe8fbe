// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// The store's rules, one table of cases run on SQLite and on PostgreSQL (a private cluster), and
// what only a shared database must do: migrate once, hold its rules across instances, and refuse
// work while it is away.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>
#include <future>
#include <set>
#include <thread>

#include "PostgresDatabase.h"
#include "SqliteDatabase.h"
#include "StreamLimiter.h"
#include "backend/BackendHarness.h"
#include "backend/PostgresCluster.h"

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;

using backend::Database;
using Outcome = Database::Rotation::Outcome;

enum class Engine { sqlite, postgres };

// One test process shares one cluster; each test gets databases of its own.
PostgresCluster& cluster() {
    static PostgresCluster instance;
    return instance;
}

class Store : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        if (GetParam() == Engine::postgres && !cluster().running())
            GTEST_SKIP() << "PostgreSQL is not installed (scripts/setup.sh installs it)";
        std::filesystem::create_directories(dir);
        database = open();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    // A second instance's connection to the same database.
    std::unique_ptr<Database> open() {
        if (GetParam() == Engine::sqlite)
            return std::make_unique<backend::SqliteDatabase>((dir / "orvane.db").string());
        if (location.empty()) location = cluster().createDatabase();
        return std::make_unique<backend::PostgresDatabase>(location);
    }

    std::filesystem::path dir = freshDataDir("store");
    std::string location;
    std::unique_ptr<Database> database;
};

TEST_P(Store, AUserIsMadeOnceAndFollowsTheProvidersNameAndAddress) {
    const auto ada = database->findOrCreateUser("google", "sub-1", "ada@example.org", "Ada");
    const auto again = database->findOrCreateUser("google", "sub-1", "ada@example.com", "Ada L.");
    const auto other = database->findOrCreateUser("apple", "sub-1", "", "");
    EXPECT_EQ(again.id, ada.id);
    EXPECT_EQ(again.email, "ada@example.com");
    EXPECT_EQ(again.firstName, "Ada L.");
    EXPECT_NE(other.id, ada.id) << "the same subject at another provider is another person";
    database->setDisabled(ada.id, true);
    EXPECT_TRUE(database->userById(ada.id)->disabled);
    EXPECT_FALSE(database->userById(other.id + 1000));
}

// Each presentation of a refresh token, as the table of outcomes says: rotated once, replayed
// within the grace, and after it the whole family is revoked; expired and unknown tokens rotate
// nothing.
TEST_P(Store, RefreshTokensRotateOnceAndAReuseRevokesTheirFamily) {
    const auto user = database->findOrCreateUser("google", "sub-1", "", "");
    database->storeRefreshToken("first", user.id, "family", 10'000, 100);
    database->storeRefreshToken("old", user.id, "other", 50, 40);
    database->storeRefreshToken("a1", user.id, "farmed", 10'000, 40);
    struct Step {
        const char* token;
        const char* successor;
        std::int64_t now;
        Outcome outcome;
        std::int64_t rotatedAt;
    };
    for (const auto& step :
         {Step{"first", "second", 100, Outcome::rotated, 100},
          Step{"first", "second", 120, Outcome::replayed, 100},
          Step{"old", "x", 60, Outcome::expired, 60},
          Step{"nobody's", "y", 130, Outcome::unknown, 130},
          Step{"first", "z", 200, Outcome::reused, 200},
          Step{"second", "third", 210, Outcome::revoked, 210},
          // Within the grace, but its successor was used: a thief's replay.
          Step{"a1", "a2", 300, Outcome::rotated, 300},
          Step{"a2", "a3", 305, Outcome::rotated, 305}, Step{"a1", "a2", 310, Outcome::reused, 310},
          Step{"a3", "a4", 311, Outcome::revoked, 311}}) {
        const auto rotation =
            database->rotateRefreshToken(step.token, step.successor, step.now, 30, 10'000);
        EXPECT_EQ(rotation.outcome, step.outcome) << step.token << " at " << step.now;
        EXPECT_EQ(rotation.rotatedAt, step.rotatedAt) << step.token << " at " << step.now;
        if (step.outcome == Outcome::rotated) {
            EXPECT_EQ(rotation.userId, user.id);
            EXPECT_EQ(database->refreshTokenOwner(step.successor, step.now), user.id);
        }
    }
    EXPECT_FALSE(database->refreshTokenOwner("second", 210)) << "revoked with its family";
    database->storeRefreshToken("later", user.id, "new", 20'000, 12'000);
    EXPECT_EQ(database->refreshTokenCount(), 1) << "expired rows go as new ones come";
}

// Renewals with one token at once, on two instances: one rotates, the others replay it.
TEST_P(Store, RenewalsAtOnceOnTwoInstancesRotateATokenOnce) {
    const auto user = database->findOrCreateUser("google", "sub-1", "", "");
    database->storeRefreshToken("token", user.id, "family", 10'000, 100);
    const auto second = open();
    std::vector<std::future<Outcome>> renewals;
    for (int i = 0; i < 8; ++i) {
        auto* instance = i % 2 ? second.get() : database.get();
        renewals.push_back(std::async(std::launch::async, [instance] {
            return instance->rotateRefreshToken("token", "successor", 100, 30, 10'000).outcome;
        }));
    }
    int rotated = 0, replayed = 0;
    for (auto& renewal : renewals) {
        const auto outcome = renewal.get();
        rotated += outcome == Outcome::rotated;
        replayed += outcome == Outcome::replayed;
    }
    EXPECT_EQ(rotated, 1);
    EXPECT_EQ(replayed, 7);
    EXPECT_EQ(second->rotateRefreshToken("token", "successor", 200, 30, 10'000).outcome,
              Outcome::reused)
        << "a reuse seen by the other instance";
    EXPECT_FALSE(database->refreshTokenOwner("successor", 200));
}

TEST_P(Store, AnIdentityTokenSignsInOnceOnAnyInstanceUntilItExpires) {
    const auto second = open();
    EXPECT_TRUE(database->firstUseOfIdentityToken("token-a", 1000, 10));
    EXPECT_FALSE(second->firstUseOfIdentityToken("token-a", 1000, 20));
    EXPECT_TRUE(second->firstUseOfIdentityToken("token-b", 2000, 20));
    EXPECT_TRUE(database->firstUseOfIdentityToken("token-a", 3000, 1500))
        << "forgotten once expired";
}

INSTANTIATE_TEST_SUITE_P(Engines, Store, ::testing::Values(Engine::sqlite, Engine::postgres),
                         [](const auto& info) {
                             return info.param == Engine::sqlite ? "SQLite" : "PostgreSQL";
                         });

class SharedDatabase : public ::testing::Test {
protected:
    void SetUp() override {
        if (!cluster().running())
            GTEST_SKIP() << "PostgreSQL is not installed (scripts/setup.sh installs it)";
        location = cluster().createDatabase();
    }
    std::string location;
};

// Instances starting at once migrate the schema once, and sign with the secret the first stored.
TEST_F(SharedDatabase, InstancesStartingAtOnceMigrateOnceAndShareOneSecret) {
    std::vector<std::future<std::string>> instances;
    for (int i = 0; i < 4; ++i) {
        instances.push_back(std::async(std::launch::async, [this, i] {
            backend::PostgresDatabase database(location, 2);
            return *database.sharedSecret("secret-" + std::to_string(i));
        }));
    }
    std::set<std::string> secrets;
    for (auto& instance : instances) secrets.insert(instance.get());
    EXPECT_EQ(secrets.size(), 1u);
    EXPECT_EQ(backend::SqliteDatabase(":memory:").sharedSecret("mine"), std::nullopt)
        << "one instance keeps its own";
}

// A user's streams are leases both instances count; a lease whose instance stopped renewing it
// (died) runs out, and one renewed while its answer streams does not. Token buckets are shared
// the same way.
TEST_F(SharedDatabase, StreamLeasesAndRateBucketsHoldAcrossInstances) {
    backend::PostgresDatabase first(location, 2), second(location, 2);
    auto& a = *first.sharedLimits();
    auto& b = *second.sharedLimits();
    EXPECT_TRUE(a.acquireStreamLease("l1", 7, 2, 100, 130));
    EXPECT_TRUE(b.acquireStreamLease("l2", 7, 2, 100, 130));
    EXPECT_FALSE(b.acquireStreamLease("l3", 7, 2, 101, 131)) << "two across both instances";
    EXPECT_TRUE(b.acquireStreamLease("l4", 8, 2, 101, 131)) << "another user's count apart";
    a.releaseStreamLease("l1");
    EXPECT_TRUE(b.acquireStreamLease("l5", 7, 2, 102, 132));
    b.renewStreamLeases({"l5"}, 200);
    EXPECT_EQ(a.streamLeases(7, 131), 1) << "l2 was not renewed and ran out";
    EXPECT_TRUE(a.acquireStreamLease("l6", 7, 2, 131, 161));

    for (auto* instance : {&a, &b, &a}) EXPECT_TRUE(instance->takeFromBucket("k", 3, 0));
    EXPECT_FALSE(b.takeFromBucket("k", 3, 10'000));
    EXPECT_TRUE(b.takeFromBucket("k", 3, 20'000)) << "one back every 20 s";

    const auto now = [] { return static_cast<std::int64_t>(std::time(nullptr)); };
    backend::LeasedStreamLimiter limiter(a, 1, 10, 3, now);
    auto slot = limiter.acquire(9);
    ASSERT_TRUE(slot);
    EXPECT_FALSE(limiter.acquire(9));
    std::this_thread::sleep_for(std::chrono::seconds(4));
    EXPECT_EQ(b.streamLeases(9, now()), 1) << "renewed while the answer streams";
    slot.reset();
    EXPECT_EQ(b.streamLeases(9, now()), 0);
}

// Two instances on one database, as behind one proxy: an identity token, a client's sign-ins
// and a user's answers count on both.
TEST_F(SharedDatabase, TwoInstancesKeepOneSetOfRules) {
    const auto dir = freshDataDir("pair");  // one development identity provider key for both
    BackendHarness a("a", dir), b("b", dir);
    for (auto* instance : {&a, &b}) {
        instance->config.database = location;
        instance->config.maxStreamsPerUser = 1;
        instance->config.offlinePaceMs = 20;
        instance->config.signInRateLimitPerMinute = 6;
        instance->start();
    }
    const auto exchange = [](BackendHarness& instance, const std::string& idToken) {
        return instance.client().Post("/api/v1/auth/mobile/google",
                                      nlohmann::json{{"googleToken", idToken}}.dump(),
                                      "application/json");
    };
    const auto idToken = a.devIdToken();  // two sign-in requests
    const auto signedIn = exchange(a, idToken);
    ASSERT_EQ(signedIn->status, 200) << signedIn->body;
    const auto replayed = exchange(b, idToken);
    EXPECT_EQ(replayed->status, 401);
    EXPECT_THAT(replayed->body, HasSubstr("already exchanged"));
    b.devIdToken();  // six in all
    EXPECT_EQ(exchange(b, "x")->status, 429) << "the client's seventh sign-in, on either";

    const std::string token = nlohmann::json::parse(signedIn->body)["accessToken"];
    std::thread streaming([&] { a.chat(token, question("what is a heap")); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(b.chat(token, question("what is a heap"))->status, 429)
        << "one answer at a time for this user, on any instance";
    streaming.join();
    EXPECT_EQ(b.chat(token, question("what is a heap"))->status, 200);
}

// The database going away: work is refused with 503 and a reason, readiness says so, and both
// come back with it, on connections made anew.
TEST_F(SharedDatabase, WithoutItsDatabaseAnInstanceRefusesWorkAndRecoversWhenItReturns) {
    BackendHarness backendServer("shared");
    backendServer.config.database = location;
    backendServer.start();
    auto client = backendServer.client();
    EXPECT_EQ(client.Get("/readyz")->status, 200);
    const auto signedIn = backendServer.signIn("Ada Lovelace");
    const auto refreshed = [&] {
        return client.Post("/api/v1/auth/refresh",
                           nlohmann::json{{"refreshToken", signedIn["refreshToken"]}}.dump(),
                           "application/json");
    };

    cluster().stop();
    const auto away = refreshed();
    EXPECT_EQ(away->status, 503);
    EXPECT_THAT(away->body, HasSubstr("the database is not reachable"));
    EXPECT_EQ(client.Get("/readyz")->status, 503);
    EXPECT_EQ(client.Get("/healthz")->status, 200) << "alive all the same";

    cluster().start();
    ASSERT_TRUE(cluster().running());
    EXPECT_EQ(client.Get("/readyz")->status, 200);
    EXPECT_EQ(refreshed()->status, 200) << "nothing was used up while it was away";
}

}  // namespace
}  // namespace orvane::testing
