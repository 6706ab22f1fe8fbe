// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/ShareCheck.h"

#include <QStringList>

#include <chrono>

namespace orvane {

QString shareCases(const SharingDesktop& desktop) {
    const auto seenFrom = QString::fromStdString(desktop.seenFrom);
    QString whole;
    QString otherMonitor = "Orvane's windows hide all the same, wherever they are.";
    if (desktop.leavesOrvaneOut) {
        whole = otherMonitor = "this desktop leaves Orvane out.";
    } else if (seenFrom.isEmpty()) {
        whole =
            "Orvane shows: this desktop can neither leave it out nor tell of a share. Share "
            "a window instead.";
        otherMonitor = "Orvane shows only if it is on that monitor.";
    } else if (desktop.seenBeforeItsFrames) {
        whole = QStringLiteral(
                    "Orvane's windows hide before its first frame, seen from %1, and "
                    "come back when it ends.")
                    .arg(seenFrom);
    } else {
        whole = QStringLiteral(
                    "Orvane's windows hide once %1 shows, a moment after the share "
                    "starts: its first moments can show them.")
                    .arg(seenFrom);
    }
    return QStringList{
        "Screen sharing, with stealth on:", "    A window of another program: Orvane is not in it.",
        "    The whole screen: " + whole, "    Another monitor: " + otherMonitor,
        "With stealth off, a share of the screen Orvane is on shows it."}
        .join('\n');
}

ShareTest::~ShareTest() {
    if (m_running) m_trial.stop();
}

void ShareTest::start(bool stealth, std::function<void(const QString&, bool)> onLine) {
    stop();
    m_onLine = std::move(onLine);
    m_stealth = stealth;
    m_firstFrame.reset();
    m_seen.reset();
    m_running = true;
    say("Test share: starting. The desktop may ask which screen to share.");
    m_trial.start(
        [this] {
            m_firstFrame = m_mainQueue.now();
            say(QStringLiteral("Test share: sharing for %1 s...").arg(seconds));
            // The timer is left to the next start: it must not be destroyed from its own block.
            m_end = m_mainQueue.scheduleTimer(seconds, false, [this] {
                m_trial.stop();
                finish({});
            });
        },
        [this](const std::string& problem) {
            m_end.reset();
            finish(problem);
        });
}

void ShareTest::stop() {
    if (!m_running) return;
    m_trial.stop();
    m_running = false;
    m_end.reset();
    say("Test share: stopped.");
}

void ShareTest::shareSeen(bool sharing) {
    if (m_running && sharing && !m_seen) m_seen = m_mainQueue.now();
}

void ShareTest::finish(const std::string& problem) {
    m_running = false;
    if (!problem.empty()) return say("Test share: " + QString::fromStdString(problem));
    if (!m_seen) {
        return say(
            "Test share: Orvane did not see it, so a share like it shows Orvane. In the "
            "call, share a window.");
    }
    if (!m_stealth) return say("Test share: Orvane saw it, and with stealth off stayed in it.");
    const auto after =
        std::chrono::duration<double>(*m_seen - m_firstFrame.value_or(*m_seen)).count();
    say(after <= 0 ? QStringLiteral("Test share: Orvane's windows left it before its first "
                                    "frame, and came back when it ended.")
                   : QStringLiteral("Test share: Orvane's windows left it %1 s after its first "
                                    "frame, and came back when it ended.")
                         .arg(after, 0, 'f', 2));
}

void ShareTest::say(const QString& line) {
    if (m_onLine) m_onLine(line, m_running);
}

}  // namespace orvane
