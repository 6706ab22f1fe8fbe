// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace orvane {

// Turns SIGTERM, SIGINT and SIGHUP (a logout, `systemctl --user stop`, a task manager, Ctrl-C in
// a terminal) into a call of onQuit on the main thread, so that the app ends as its Quit command
// ends it: through the event loop, its session stopped and its backend with it. The handlers
// only write a byte into a socket pair; everything else happens in the event loop. One per
// process; the default handlers come back when it goes.
class QuitSignals : public QObject {
public:
    QuitSignals();
    ~QuitSignals() override;

    std::function<void()> onQuit;

private:
    int m_fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace orvane
