// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "session/QAPair.h"

namespace orvane {

// The answers the user can page through, oldest first, with the one being shown.
// currentIndex is -1 exactly when there are no pairs. Main thread only.
class AnswerHistory {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    // Told the pair now shown, its index and the number of pairs after every append or move.
    using NavigationCallback = std::function<void(std::optional<QAPair>, int index, int count)>;

    explicit AnswerHistory(Clock now);

    NavigationCallback onNavigated;

    // Adds a pair stamped now and shows it, even while an older pair is being looked at.
    void append(const std::string& question, const std::string& answer);
    std::optional<QAPair> previous();
    std::optional<QAPair> next();
    std::optional<QAPair> latest();
    // Empties the history without notifying.
    void clear();

    bool isAtLatest() const { return m_currentIndex == count() - 1; }
    int count() const { return static_cast<int>(m_pairs.size()); }
    int currentIndex() const { return m_currentIndex; }
    const std::vector<QAPair>& pairs() const { return m_pairs; }

private:
    std::optional<QAPair> moveTo(int index);

    Clock m_now;
    std::vector<QAPair> m_pairs;
    int m_currentIndex = -1;
};

}  // namespace orvane
