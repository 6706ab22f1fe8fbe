// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "session/AnswerHistory.h"

namespace orvane {

AnswerHistory::AnswerHistory(Clock now) : m_now(std::move(now)) {}

void AnswerHistory::append(const std::string& question, const std::string& answer) {
    m_pairs.push_back(QAPair{question, answer, m_now()});
    moveTo(count() - 1);
}

std::optional<QAPair> AnswerHistory::previous() {
    if (m_currentIndex < 1) return std::nullopt;
    return moveTo(m_currentIndex - 1);
}

std::optional<QAPair> AnswerHistory::next() {
    if (m_currentIndex >= count() - 1) return std::nullopt;
    return moveTo(m_currentIndex + 1);
}

std::optional<QAPair> AnswerHistory::latest() {
    if (m_pairs.empty()) return std::nullopt;
    return moveTo(count() - 1);
}

void AnswerHistory::clear() {
    m_pairs.clear();
    m_currentIndex = -1;
}

std::optional<QAPair> AnswerHistory::moveTo(int index) {
    m_currentIndex = index;
    const QAPair pair = m_pairs[static_cast<std::size_t>(index)];
    if (onNavigated) onNavigated(pair, m_currentIndex, count());
    return pair;
}

}  // namespace orvane
