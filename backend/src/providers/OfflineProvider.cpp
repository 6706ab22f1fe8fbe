// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "providers/OfflineProvider.h"

#include <chrono>
#include <set>
#include <thread>

namespace orvane::backend {

namespace {

std::vector<std::string> lowerWords(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '\'') {
            word += static_cast<char>(std::tolower(c));
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

}  // namespace

// The answer set holds short answers only: going deeper means the neighbouring questions an
// interviewer tends to ask next, with their answers.
std::string OfflineProvider::related(const KnowledgeBase::Entry& entry) const {
    std::string topic = entry.question;
    for (const auto& keyword : entry.keywords) topic += " " + keyword;
    std::string text;
    std::size_t added = 0;
    for (const auto& match : m_knowledge.ranked(topic, 8)) {
        // A shared word across topics ("join" the team, SQL joins) is no relation.
        if (match.entry == &entry || match.entry->category != entry.category ||
            match.score < minimumScore) {
            continue;
        }
        text += "\n\n**Related: " + match.entry->question + "** " + match.entry->answer;
        if (++added == maxRelated) break;
    }
    return text;
}

bool OfflineProvider::isQuestion(std::string_view utterance) {
    if (utterance.find('?') != std::string_view::npos) return true;
    static const std::set<std::string> fillers = {
        "so",   "okay",  "ok",   "and",  "um",   "uh",   "alright", "right",  "now",
        "well", "great", "good", "next", "then", "also", "cool",    "perfect"};
    static const std::set<std::string> openers = {
        "what",    "what's",   "whats", "how",     "how's",   "why",     "when",   "where",
        "which",   "who",      "whose", "can",     "could",   "would",   "will",   "do",
        "does",    "did",      "is",    "are",     "have",    "has",     "should", "tell",
        "explain", "describe", "walk",  "give",    "design",  "compare", "define", "implement",
        "write",   "talk",     "share", "imagine", "suppose", "name",    "list",   "let's",
        "lets",    "i'd",      "i'm",   "briefly", "please"};
    for (const auto& word : lowerWords(utterance)) {
        if (fillers.contains(word)) continue;
        return openers.contains(word);
    }
    return false;
}

void OfflineProvider::answer(const chat::Request& input, AnswerSink& sink) {
    const auto* turn = input.latestUserTurn();
    const auto utterance = turn ? turn->content : std::string();
    const auto match = m_knowledge.best(utterance);
    if (!isQuestion(utterance) || !match || match->score < minimumScore) {
        if (sink.delta("[SKIP]")) sink.stop();
        return;
    }
    const std::string text = std::string(label) + match->entry->answer +
                             (input.answerStyle == "detailed" ? related(*match->entry) : "");
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find(' ', start);
        end = end == std::string::npos ? text.size() : end + 1;
        if (!sink.delta(std::string_view(text).substr(start, end - start))) return;
        start = end;
        if (m_millisecondsPerWord > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(m_millisecondsPerWord));
        }
    }
    sink.stop();
}

}  // namespace orvane::backend
