// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <optional>
#include <string>

namespace orvane {

// Decides which decoder hypotheses become results: only a non-empty text that differs from the
// last one reported, so that silence, which leaves the hypothesis unchanged, reports nothing and
// lets the session's silence timer run.
class HypothesisReporter {
public:
    std::optional<std::string> offer(const std::string& hypothesis) {
        if (hypothesis.empty() || hypothesis == m_last) return std::nullopt;
        m_last = hypothesis;
        return hypothesis;
    }
    const std::string& last() const { return m_last; }

private:
    std::string m_last;
};

}  // namespace orvane
