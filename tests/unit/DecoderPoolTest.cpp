// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "adapters/pocketsphinx/DecoderPool.h"
#include "adapters/pocketsphinx/HypothesisReporter.h"

namespace orvane {
namespace {

struct CountedDecoder {
    int serial;
};

TEST(DecoderPool, AReleasedDecoderIsReusedWarm) {
    int made = 0;
    DecoderPool<CountedDecoder> pool(
        [&] { return std::make_unique<CountedDecoder>(CountedDecoder{++made}); });
    auto first = pool.acquire();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->serial, 1);
    first.reset();
    EXPECT_EQ(pool.idleCount(), 1u);
    auto again = pool.acquire();
    EXPECT_EQ(again->serial, 1) << "the warm decoder, not a new one";
    EXPECT_EQ(made, 1);
}

TEST(DecoderPool, RecognitionsAtTheSameTimeGetTheirOwnDecoders) {
    int made = 0;
    DecoderPool<CountedDecoder> pool(
        [&] { return std::make_unique<CountedDecoder>(CountedDecoder{++made}); });
    auto session = pool.acquire();
    auto pushToTalk = pool.acquire();
    EXPECT_NE(session->serial, pushToTalk->serial);
    session.reset();
    pushToTalk.reset();
    EXPECT_EQ(pool.idleCount(), 2u);
    EXPECT_EQ(made, 2);
}

TEST(DecoderPool, AFactoryThatFailsGivesNothing) {
    DecoderPool<CountedDecoder> pool([] { return std::unique_ptr<CountedDecoder>(); });
    EXPECT_FALSE(pool.acquire());
}

TEST(DecoderPool, ALeaseMayOutliveThePool) {
    std::shared_ptr<CountedDecoder> lease;
    {
        DecoderPool<CountedDecoder> pool(
            [] { return std::make_unique<CountedDecoder>(CountedDecoder{7}); });
        lease = pool.acquire();
    }
    EXPECT_EQ(lease->serial, 7);
    lease.reset();
}

TEST(HypothesisReporter, ReportsOnlyNewNonEmptyText) {
    HypothesisReporter reporter;
    EXPECT_FALSE(reporter.offer(""));
    EXPECT_EQ(reporter.offer("what"), "what");
    EXPECT_FALSE(reporter.offer("what")) << "silence leaves the hypothesis as it was";
    EXPECT_FALSE(reporter.offer(""));
    EXPECT_EQ(reporter.offer("what is"), "what is");
    EXPECT_EQ(reporter.offer("what"), "what") << "a revision back is still a change";
    EXPECT_EQ(reporter.last(), "what");
}

}  // namespace
}  // namespace orvane
