// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "Loopback.h"
#include "RateLimiter.h"
#include "StreamLimiter.h"

namespace orvane::testing {
namespace {

using backend::isLoopbackAddress;

TEST(Loopback, IsDecidedOnAddressesNotOnHowANameBegins) {
    for (const char* host :
         {"127.0.0.1", "127.255.0.9", "::1", "[::1]", "::ffff:127.0.0.1", "localhost"}) {
        EXPECT_TRUE(isLoopbackAddress(host)) << host;
    }
    for (const char* host :
         {"127.evil.example", "127.0.0.1.evil.example", "localhost.evil", "0.0.0.0", "128.0.0.1",
          "::", "::2", "[::ffff:10.0.0.1]", "", "1270.0.0.1"}) {
        EXPECT_FALSE(isLoopbackAddress(host)) << host;
    }
    EXPECT_TRUE(backend::isLoopbackUrl("http://127.0.0.1:8080/v1"));
    EXPECT_FALSE(backend::isLoopbackUrl("https://127.0.0.1.nip.io/v1"));
}

TEST(RateLimits, ABucketEmptiesAndRefillsOverAMinute) {
    auto now = std::chrono::steady_clock::time_point{};
    backend::RateLimiter limiter(3, [&] { return now; });
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(limiter.allow("198.51.100.7"));
    EXPECT_FALSE(limiter.allow("198.51.100.7"));
    EXPECT_TRUE(limiter.allow("203.0.113.9")) << "each key has its own bucket";
    now += std::chrono::seconds(20);
    EXPECT_TRUE(limiter.allow("198.51.100.7"));
    EXPECT_FALSE(limiter.allow("198.51.100.7"));
}

TEST(RateLimits, KeysThatStopAskingAreForgotten) {
    auto now = std::chrono::steady_clock::time_point{};
    backend::RateLimiter limiter(10, [&] { return now; });
    for (int i = 0; i < 100000; ++i) {
        limiter.allow("client-" + std::to_string(i));
        now += std::chrono::milliseconds(10);
    }
    EXPECT_LT(limiter.trackedKeys(), 10000u) << "a stream of new addresses costs no lasting memory";
}

TEST(StreamLimits, EachUserAndTheWholeServerHaveACap) {
    backend::StreamLimiter limiter(2, 3);
    auto a1 = limiter.acquire(1), a2 = limiter.acquire(1);
    EXPECT_TRUE(a1 && a2);
    EXPECT_FALSE(limiter.acquire(1)) << "a third answer of the same user waits";
    auto b1 = limiter.acquire(2);
    EXPECT_TRUE(b1);
    EXPECT_FALSE(limiter.acquire(3)) << "the server is full";
    a1.reset();
    EXPECT_EQ(limiter.running(), 2);
    EXPECT_TRUE(limiter.acquire(3)) << "a finished answer makes room";
}

}  // namespace
}  // namespace orvane::testing
