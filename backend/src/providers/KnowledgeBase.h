// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orvane::backend {

// Interview questions with prepared answers, searched with BM25 over each entry's question and
// keywords.
class KnowledgeBase {
public:
    struct Entry {
        std::string category;
        std::string question;
        std::vector<std::string> keywords;
        std::string answer;
    };
    struct Match {
        const Entry* entry;
        double score;
    };

    // The answer set compiled into the server.
    static const KnowledgeBase& builtIn();
    static KnowledgeBase fromJson(std::string_view json);

    // The best entry for the query, or nothing when no entry shares a meaningful word with it.
    std::optional<Match> best(std::string_view query) const;
    // The count best entries sharing a meaningful word with the query, best first.
    std::vector<Match> ranked(std::string_view query, std::size_t count) const;

    static std::vector<std::string> terms(std::string_view text);

private:
    struct Document {
        std::unordered_map<std::string, double> termCounts;
        double length = 0;
    };

    std::vector<Entry> m_entries;
    std::vector<Document> m_documents;
    std::unordered_map<std::string, int> m_documentFrequency;
    double m_averageLength = 0;
};

}  // namespace orvane::backend
