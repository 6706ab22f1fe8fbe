// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "providers/KnowledgeBase.h"
#include "providers/OfflineProvider.h"

namespace orvane::testing {
namespace {

using backend::KnowledgeBase;
using backend::OfflineProvider;

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

// The end-to-end demo speaks these questions through the on-device recogniser, which hears them
// in more than one way depending on where the audio's blocks fall; every way must still be
// answered, or the demo's check depends on luck.
TEST(OfflineAnswers, TheDemosQuestionsAreAnsweredAsTheRecogniserHearsThem) {
    const auto& base = KnowledgeBase::builtIn();
    const std::vector<std::pair<const char*, const char*>> heard = {
        {"What is the difference between a process and a thread",
         "What is the difference between a process and a thread?"},
        {"What is not difference between a process and a thread",
         "What is the difference between a process and a thread?"},
        {"What is a difference between a process and a thread",
         "What is the difference between a process and a thread?"},
        {"How do you optimise a slow use que el you read", "How do you optimise a slow SQL query?"},
        {"How do you optimise a slow with queue milk when you read",
         "How do you optimise a slow SQL query?"},
        {"What is your greatest weakness", "What is your greatest weakness?"},
        {"What is your greatest strength", "What is your greatest strength?"},
        {"What is your greatest truth", "What is your greatest strength?"},
        {"What is your greatest true enough", "What is your greatest strength?"},
        {"What is your greatest that's true enough", "What is your greatest strength?"},
        {"What are your salary a ticket do you shoot is", "What are your salary expectations?"},
        {"How do you optimise a slow SQL query", "How do you optimise a slow SQL query?"},
        {"How do you optimise a slow SQL kiwi you read", "How do you optimise a slow SQL query?"},
        {"How do you optimise a slow SQL you read", "How do you optimise a slow SQL query?"},
        {"How do you optimise a slow SQL we you read", "How do you optimise a slow SQL query?"},
        {"How do you optimise a slow SQL cool you read", "How do you optimise a slow SQL query?"},
        {"How do you optimise a slow SQL we are we", "How do you optimise a slow SQL query?"},
        {"How do you optimise a slow SQL we are the", "How do you optimise a slow SQL query?"},
        {"How do you optimise a slow SQL to would you read",
         "How do you optimise a slow SQL query?"},
        {"How do you optimise a slow SQL to when you read",
         "How do you optimise a slow SQL query?"},
    };
    for (const auto& [utterance, question] : heard) {
        const auto match = base.best(utterance);
        EXPECT_TRUE(OfflineProvider::isQuestion(utterance)) << utterance;
        ASSERT_TRUE(match) << utterance;
        EXPECT_EQ(match->entry->question, question) << utterance;
        EXPECT_GE(match->score, OfflineProvider::minimumScore) << utterance;
    }
}

}  // namespace
}  // namespace orvane::testing
