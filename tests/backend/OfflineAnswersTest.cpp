// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <set>

#include "providers/KnowledgeBase.h"
#include "providers/OfflineProvider.h"

namespace orvane::testing {
namespace {

using backend::KnowledgeBase;
using backend::OfflineProvider;

TEST(OfflineAnswers, TheBuiltInSetCoversTheMainInterviewAreas) {
    const auto& base = KnowledgeBase::builtIn();
    EXPECT_GE(base.size(), 80u);
}

TEST(OfflineAnswers, StoredQuestionsLeadBackToTheirOwnEntries) {
    const auto& base = KnowledgeBase::builtIn();
    int found = 0;
    std::vector<std::string> missed;
    // Each stored question, asked as written, leads back to its own entry.
    for (const char* question :
         {"Tell me about yourself.", "Design a URL shortener.", "What is the CAP theorem?",
          "What are ACID properties?", "What is a closure in JavaScript?",
          "What is ownership in Rust?", "Explain binary search.", "What is Kubernetes?",
          "What is the GIL in Python?", "How does HTTPS work?"}) {
        const auto match = base.best(question);
        if (match && match->entry->question == question) {
            ++found;
        } else {
            missed.push_back(question);
        }
    }
    EXPECT_EQ(found, 10) << "missed: " << (missed.empty() ? "" : missed.front());
}

struct QuestionCase {
    const char* utterance;
    bool isQuestion;
};

class QuestionDetection : public ::testing::TestWithParam<QuestionCase> {};

TEST_P(QuestionDetection, RecognisesSpokenQuestions) {
    EXPECT_EQ(OfflineProvider::isQuestion(GetParam().utterance), GetParam().isQuestion)
        << GetParam().utterance;
}

INSTANTIATE_TEST_SUITE_P(
    Utterances, QuestionDetection,
    ::testing::Values(QuestionCase{"what is a closure", true},
                      QuestionCase{"so um how would you scale this", true},
                      QuestionCase{"okay tell me about a time you failed", true},
                      QuestionCase{"walk me through your resume", true},
                      QuestionCase{"Design a rate limiter", true},
                      QuestionCase{"you know the answer?", true},
                      QuestionCase{"thanks that was great", false},
                      QuestionCase{"okay let me share my screen", false},
                      QuestionCase{"I think we are out of time", false}, QuestionCase{"", false}));

TEST(OfflineAnswers, UnrelatedWordsFindNothingGoodEnough) {
    const auto& base = KnowledgeBase::builtIn();
    for (const char* utterance : {"what is the capital of peru", "how is the weather today"}) {
        const auto match = base.best(utterance);
        EXPECT_TRUE(!match || match->score < OfflineProvider::minimumScore)
            << utterance << " matched " << match->entry->question << " at " << match->score;
    }
}

}  // namespace
}  // namespace orvane::testing
