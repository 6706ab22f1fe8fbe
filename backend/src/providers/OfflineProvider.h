// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include "providers/KnowledgeBase.h"
#include "providers/ModelProvider.h"

namespace orvane::backend {

// Answers from the built-in answer set, with no network: the best BM25 match for the latest
// utterance, streamed a word at a time, and for a detailed answer the questions next to it.
// "[SKIP]" when the utterance is not a question or nothing matches well enough.
class OfflineProvider : public ModelProvider {
public:
    static constexpr double minimumScore = 3.0;
    static constexpr const char* label = "(Offline answer set) ";
    // A detailed answer adds this many neighbouring questions at most.
    static constexpr std::size_t maxRelated = 2;

    OfflineProvider(const KnowledgeBase& knowledge, int millisecondsPerWord)
        : m_knowledge(knowledge), m_millisecondsPerWord(millisecondsPerWord) {}

    void answer(const chat::Request& input, AnswerSink& sink) override;

    // Whether an utterance, as transcribed, asks something.
    static bool isQuestion(std::string_view utterance);

private:
    std::string related(const KnowledgeBase::Entry& entry) const;

    const KnowledgeBase& m_knowledge;
    int m_millisecondsPerWord;
};

}  // namespace orvane::backend
