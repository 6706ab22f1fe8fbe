// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/qt/QtMainQueue.h"

#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include <cmath>

namespace orvane {

namespace {

int milliseconds(double seconds) {
    return static_cast<int>(std::max(0.0, std::round(seconds * 1000)));
}

class QtTimer : public Timer {
public:
    explicit QtTimer(QTimer* timer) : m_timer(timer) {}
    ~QtTimer() override {
        invalidate();
        delete m_timer.data();
    }
    void invalidate() override {
        if (m_timer) m_timer->stop();
    }

private:
    QPointer<QTimer> m_timer;
};

}  // namespace

QtMainQueue::QtMainQueue() = default;
QtMainQueue::~QtMainQueue() = default;

void QtMainQueue::post(Block block) {
    QMetaObject::invokeMethod(&m_context, std::move(block), Qt::QueuedConnection);
}

void QtMainQueue::postAfter(double seconds, Block block) {
    // The delay starts on the GUI thread, where the timer must live.
    post([this, seconds, block = std::move(block)]() mutable {
        QTimer::singleShot(milliseconds(seconds), &m_context, std::move(block));
    });
}

std::unique_ptr<Timer> QtMainQueue::scheduleTimer(double interval, bool repeats, Block block) {
    auto* timer = new QTimer(&m_context);
    timer->setSingleShot(!repeats);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, &m_context, std::move(block));
    timer->start(milliseconds(interval));
    return std::make_unique<QtTimer>(timer);
}

MainQueue::TimePoint QtMainQueue::now() const {
    return std::chrono::system_clock::now();
}

}  // namespace orvane
