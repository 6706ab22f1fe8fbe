// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "providers/KnowledgeBase.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>

#include <nlohmann/json.hpp>

namespace orvane::backend {

extern const char* const kBuiltInKnowledgeBase;

namespace {

constexpr double kK1 = 1.2;
constexpr double kB = 0.75;
constexpr double kKeywordWeight = 2.0;

// Words that say nothing about the topic of a question.
const std::set<std::string>& stopWords() {
    static const std::set<std::string> words = {
        "a",     "about", "an",    "and",      "are",  "as",    "at",    "be",      "between",
        "by",    "can",   "could", "describe", "did",  "do",    "does",  "explain", "for",
        "from",  "give",  "have",  "how",      "i",    "in",    "is",    "it",      "its",
        "me",    "my",    "of",    "on",       "or",   "say",   "so",    "some",    "tell",
        "that",  "the",   "their", "them",     "then", "there", "this",  "to",      "um",
        "uh",    "us",    "walk",  "was",      "we",   "were",  "what",  "whats",   "when",
        "where", "which", "who",   "why",      "will", "with",  "would", "you",     "your",
        "okay",  "ok",    "well",  "like",     "know", "mean",  "talk",  "through", "one",
        "ever",  "kind",  "sort",  "let",      "lets", "just",  "really"};
    return words;
}

}  // namespace

std::vector<std::string> KnowledgeBase::terms(std::string_view text) {
    std::vector<std::string> out;
    std::string word;
    const auto flush = [&] {
        if (!word.empty() && !stopWords().contains(word)) out.push_back(word);
        word.clear();
    };
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '+' || c == '#') {
            word += static_cast<char>(std::tolower(c));
        } else if (c == '\'' || c == '-' || c == '/' || c == '.') {
            // "what's" -> "whats", "B-tree" -> "btree", "CI/CD" -> "cicd", "Node.js" -> "nodejs"
        } else {
            flush();
        }
    }
    flush();
    return out;
}

KnowledgeBase KnowledgeBase::fromJson(std::string_view json) {
    KnowledgeBase base;
    const auto document = nlohmann::json::parse(json);
    for (const auto& item : document.at("entries")) {
        Entry entry{item.at("category"), item.at("question"), item.at("keywords"),
                    item.at("answer")};
        Document indexed;
        for (const auto& term : terms(entry.question)) indexed.termCounts[term] += 1;
        for (const auto& keyword : entry.keywords) {
            for (const auto& term : terms(keyword)) indexed.termCounts[term] += kKeywordWeight;
        }
        for (const auto& [term, count] : indexed.termCounts) {
            indexed.length += count;
            ++base.m_documentFrequency[term];
        }
        base.m_entries.push_back(std::move(entry));
        base.m_documents.push_back(std::move(indexed));
    }
    double total = 0;
    for (const auto& indexed : base.m_documents) total += indexed.length;
    base.m_averageLength = base.m_documents.empty() ? 1 : total / base.m_documents.size();
    return base;
}

const KnowledgeBase& KnowledgeBase::builtIn() {
    static const KnowledgeBase base = fromJson(kBuiltInKnowledgeBase);
    return base;
}

std::optional<KnowledgeBase::Match> KnowledgeBase::best(std::string_view query) const {
    const auto matches = ranked(query, 1);
    if (matches.empty()) return std::nullopt;
    return matches.front();
}

std::vector<KnowledgeBase::Match> KnowledgeBase::ranked(std::string_view query,
                                                        std::size_t count) const {
    const auto queryTerms = terms(query);
    const std::set<std::string> unique(queryTerms.begin(), queryTerms.end());
    std::vector<Match> matches;
    const double n = static_cast<double>(m_documents.size());
    for (std::size_t i = 0; i < m_documents.size(); ++i) {
        const auto& document = m_documents[i];
        double score = 0;
        for (const auto& term : unique) {
            const auto found = document.termCounts.find(term);
            if (found == document.termCounts.end()) continue;
            const double df = m_documentFrequency.at(term);
            const double idf = std::log(1 + (n - df + 0.5) / (df + 0.5));
            const double tf = found->second;
            score += idf * tf * (kK1 + 1) /
                     (tf + kK1 * (1 - kB + kB * document.length / m_averageLength));
        }
        if (score > 0) matches.push_back(Match{&m_entries[i], score});
    }
    // Stable, so that equal scores keep the answer set's order.
    std::stable_sort(matches.begin(), matches.end(),
                     [](const Match& a, const Match& b) { return a.score > b.score; });
    if (matches.size() > count) matches.resize(count);
    return matches;
}

}  // namespace orvane::backend
