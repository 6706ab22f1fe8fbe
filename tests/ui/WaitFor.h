// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

namespace orvane {

// Runs the event loop until the condition holds or the time is up; says whether it holds.
inline bool waitFor(const std::function<bool()>& condition, int milliseconds = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return condition();
}

}  // namespace orvane
