// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/MainQueue.h"
#include "platform/ShareTrial.h"

namespace orvane {

// What this desktop lets Orvane do about a share of the screen.
struct SharingDesktop {
    // It leaves Orvane's windows out of every capture.
    bool leavesOrvaneOut = false;
    // How a share is seen ("the screen-sharing streams in PipeWire"); empty where it cannot be.
    std::string seenFrom;
    // Seen as it is set up, before its first frame; otherwise once the call shows it.
    bool seenBeforeItsFrames = false;
};

// For Preferences: what a share shows of Orvane on this desktop, a line per kind of share.
QString shareCases(const SharingDesktop& desktop);

// Runs one test share for Preferences and says what it showed: whether Orvane saw it, how soon
// after its first frame Orvane's windows left, and that they came back once it ended.
class ShareTest {
public:
    // How long the share lasts: long enough to see the windows go, short enough that nobody
    // needs to stop it (Preferences, with its Stop button, leaves while it runs).
    static constexpr double seconds = 5;

    ShareTest(ShareTrial& trial, MainQueue& mainQueue) : m_trial(trial), m_mainQueue(mainQueue) {}
    ~ShareTest();

    // Starts it; each line says where it is, the last one what it showed.
    void start(bool stealth, std::function<void(const QString& line, bool running)> onLine);
    void stop();
    // What the share watcher says.
    void shareSeen(bool sharing);
    bool running() const { return m_running; }

private:
    void finish(const std::string& problem);
    void say(const QString& line);

    ShareTrial& m_trial;
    MainQueue& m_mainQueue;
    bool m_running = false;
    bool m_stealth = true;
    std::optional<MainQueue::TimePoint> m_firstFrame;
    std::optional<MainQueue::TimePoint> m_seen;
    std::unique_ptr<Timer> m_end;
    std::function<void(const QString&, bool)> m_onLine;
};

}  // namespace orvane
