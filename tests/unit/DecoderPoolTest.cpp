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

// A released decoder is reused warm, recognitions at the same time get decoders of their own, and
// a lease may outlive its pool; a factory that fails gives nothing.
TEST(DecoderPool, ReleasedDecodersAreReusedWarmAndEachRecognitionHasItsOwn) {
    int made = 0;
    std::shared_ptr<CountedDecoder> lease;
    {
        DecoderPool<CountedDecoder> pool(
            [&] { return std::make_unique<CountedDecoder>(CountedDecoder{++made}); });
        auto first = pool.acquire();
        ASSERT_TRUE(first);
        EXPECT_EQ(first->serial, 1);
        first.reset();
        EXPECT_EQ(pool.idleCount(), 1u);
        auto session = pool.acquire();
        EXPECT_EQ(session->serial, 1) << "the warm decoder, not a new one";
        auto pushToTalk = pool.acquire();
        EXPECT_EQ(pushToTalk->serial, 2);
        session.reset();
        pushToTalk.reset();
        EXPECT_EQ(pool.idleCount(), 2u);
        EXPECT_EQ(made, 2);
        lease = pool.acquire();
    }
    EXPECT_GT(lease->serial, 0);
    lease.reset();
    DecoderPool<CountedDecoder> failing([] { return std::unique_ptr<CountedDecoder>(); });
    EXPECT_FALSE(failing.acquire());
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
