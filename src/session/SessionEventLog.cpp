// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "session/SessionEventLog.h"

#include "capture/ScreenshotCapture.h"
#include "session/SessionManager.h"

namespace orvane {

namespace {

const char* stateName(SessionManager::State state) {
    switch (state) {
        case SessionManager::State::idle:
            return "idle";
        case SessionManager::State::listening:
            return "listening";
        case SessionManager::State::processing:
            return "processing";
    }
    return "idle";
}

// Runs the callback that was there before, then the log's own.
template <typename Callback, typename Extra>
Callback chained(Callback previous, Extra extra) {
    return [previous = std::move(previous), extra = std::move(extra)](auto&&... args) {
        if (previous) previous(args...);
        extra(args...);
    };
}

}  // namespace

void SessionEventLog::attach(SessionManager& session, std::function<std::string()> shownAnswer) {
    session.onStateChanged = chained(session.onStateChanged, [this](SessionManager::State state) {
        write({{"event", "state"}, {"state", stateName(state)}});
    });
    session.onTranscript = chained(session.onTranscript, [this](const std::string& text) {
        write({{"event", "transcript"}, {"text", text}});
    });
    session.onAnswer = chained(session.onAnswer, [this](const std::string& text) {
        write({{"event", "answer"}, {"text", text}});
    });
    session.onAnswerSkipped =
        chained(session.onAnswerSkipped, [this, shownAnswer = std::move(shownAnswer)] {
            nlohmann::ordered_json event = {{"event", "skipped"}};
            if (shownAnswer) event["shown"] = shownAnswer();
            write(event);
        });
    session.onError = chained(session.onError, [this](const std::string& message) {
        write({{"event", "error"}, {"message", message}});
    });
    m_screenshotCount = static_cast<int>(session.screenshots().queue().size());
    session.onScreenshotsChanged =
        chained(session.onScreenshotsChanged, [this, &session](int count) {
            // Sending a question with no pictures waiting changes nothing worth a line.
            if (count == m_screenshotCount) return;
            // A new picture is written whole: what the model will be shown.
            if (count > m_screenshotCount) {
                write({{"event", "screenshot"}, {"png", session.screenshots().queue().back()}});
            }
            m_screenshotCount = count;
            write({{"event", "screenshots"}, {"count", count}});
        });
    m_recordedCount = session.history().count();
    session.onHistoryShown = chained(
        session.onHistoryShown, [this](const std::optional<QAPair>& pair, int index, int count) {
            if (!pair) return;
            // Paging notifies too; only a growing history means a new pair.
            if (count <= m_recordedCount) {
                write({{"event", "shown"}, {"position", index + 1}, {"count", count}});
                return;
            }
            m_recordedCount = count;
            write({{"event", "recorded"}, {"question", pair->question}, {"answer", pair->answer}});
        });
}

void SessionEventLog::write(const nlohmann::ordered_json& event) {
    m_out << event.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
    m_out.flush();
}

}  // namespace orvane
