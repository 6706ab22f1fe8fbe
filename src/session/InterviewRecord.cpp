// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "session/InterviewRecord.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace orvane {

namespace {

std::string localDateTime(InterviewRecord::TimePoint when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

std::string elapsed(InterviewRecord::TimePoint from, InterviewRecord::TimePoint to) {
    const auto seconds =
        std::max<long long>(0, std::chrono::duration_cast<std::chrono::seconds>(to - from).count());
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

// A transcript is plain text: kept from being read as a heading, a list or emphasis.
std::string plain(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '\n' || c == '\r') {
            escaped += ' ';
            continue;
        }
        if (std::string_view("\\`*_[]<>#|").find(c) != std::string_view::npos) escaped += '\\';
        escaped += c;
    }
    return escaped;
}

}  // namespace

void InterviewRecord::begin(TimePoint startedAt) {
    m_startedAt = startedAt;
    m_entries.clear();
}

void InterviewRecord::add(Entry entry) {
    m_entries.push_back(std::move(entry));
}

std::string InterviewRecord::markdown(std::string_view context) const {
    std::string text = "# Interview, " + localDateTime(m_startedAt) + "\n\n";
    if (!context.empty()) {
        text += "## Context\n\n";
        for (std::size_t start = 0; start < context.size();) {
            const auto end = std::min(context.find('\n', start), context.size());
            text += "> ";
            text += context.substr(start, end - start);
            text += "\n";
            start = end + 1;
        }
        text += "\n";
    }
    text += "## Questions\n";
    // An answer is recorded when it ends, after what the candidate said while it streamed.
    auto entries = m_entries;
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.askedAt < b.askedAt; });
    for (const auto& entry : entries) {
        if (entry.outcome == Outcome::candidateSaid) {
            text += "\n**You, " + elapsed(m_startedAt, entry.askedAt) + ":** " +
                    plain(entry.question) + "\n";
            continue;
        }
        text +=
            "\n### " + elapsed(m_startedAt, entry.askedAt) + " " + plain(entry.question) + "\n\n";
        switch (entry.outcome) {
            case Outcome::answered:
                text += entry.answer;
                break;
            case Outcome::skipped:
                text += "*(Skipped: taken for small talk.)*";
                break;
            case Outcome::failed:
                text += "*(Not answered: " + plain(entry.answer) + ")*";
                break;
            case Outcome::candidateSaid:
                break;
        }
        text += "\n";
    }
    return text;
}

}  // namespace orvane
