// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// What one session was asked and answered, kept in memory from its start until the next one
// starts, so that the user can save it when it ends. Nothing is written by itself.
class InterviewRecord {
public:
    using TimePoint = std::chrono::system_clock::time_point;
    // candidateSaid: no question but a line the candidate said, in question.
    enum class Outcome { answered, skipped, failed, candidateSaid };
    struct Entry {
        TimePoint askedAt;
        std::string question;
        // As shown: a cut-short answer with its mark; for a failure, what the user was told.
        std::string answer;
        Outcome outcome = Outcome::answered;
    };

    // Forgets the last interview and starts another.
    void begin(TimePoint startedAt);
    void add(Entry entry);
    bool empty() const { return m_entries.empty(); }
    const std::vector<Entry>& entries() const { return m_entries; }
    TimePoint startedAt() const { return m_startedAt; }

    // The interview as Markdown: when it was, the context it was answered with, then every
    // question with the time into the session it was asked and its answer, and the candidate's
    // lines among them at their times.
    std::string markdown(std::string_view context) const;

private:
    TimePoint m_startedAt{};
    std::vector<Entry> m_entries;
};

}  // namespace orvane
