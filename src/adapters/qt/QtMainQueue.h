// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QObject>

#include "platform/MainQueue.h"

namespace orvane {

// The main queue on Qt's event loop: blocks run in the thread that owns this object (the GUI
// thread), posted through queued invocations, so any thread may post.
class QtMainQueue : public MainQueue {
public:
    QtMainQueue();
    ~QtMainQueue() override;

    void post(Block block) override;
    void postAfter(double seconds, Block block) override;
    std::unique_ptr<Timer> scheduleTimer(double interval, bool repeats, Block block) override;
    TimePoint now() const override;

private:
    QObject m_context;
};

}  // namespace orvane
