// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <mutex>
#include <optional>

#include "platform/SpeechRecognizer.h"

namespace orvane {

// What a recognition reports to its handler, from whichever thread: one report at a time, nothing
// after the last (a final result or an error), and once it is cancelled nothing but the
// cancellation.
class ReportGate {
public:
    // Audio may already be arriving, and reports with it, on another thread.
    void setHandler(RecognitionHandler handler) {
        std::lock_guard lock(m_mutex);
        m_handler = std::move(handler);
    }
    void cancel() {
        std::lock_guard lock(m_mutex);
        m_cancelRequested = true;
    }
    void deliver(std::optional<SpeechRecognitionResult> result,
                 std::optional<SpeechRecognitionError> error) {
        std::lock_guard lock(m_mutex);
        const bool isCancellation = error && error->kind == SpeechRecognitionError::Kind::cancelled;
        if (m_finished || (m_cancelRequested && !isCancellation)) return;
        if ((result && result->isFinal) || error) m_finished = true;
        if (m_handler) m_handler(std::move(result), std::move(error));
    }

private:
    std::mutex m_mutex;
    RecognitionHandler m_handler;
    bool m_finished = false;
    bool m_cancelRequested = false;
};

}  // namespace orvane
