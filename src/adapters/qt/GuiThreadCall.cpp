// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/qt/GuiThreadCall.h"

#include <QThread>

#include <memory>

namespace orvane {

// One hand-over. A call that gave up is marked abandoned, so that the GUI thread never runs a
// function whose caller (and the locals it refers to) has gone.
struct GuiThreadCall::Call {
    bool started = false;
    bool finished = false;
    bool abandoned = false;
};

void GuiThreadCall::close() {
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_changed.notify_all();
}

bool GuiThreadCall::closed() {
    std::lock_guard lock(m_mutex);
    return m_closed;
}

bool GuiThreadCall::run(std::function<void()> function) {
    if (QThread::currentThread() == m_context.thread()) {
        function();
        return true;
    }
    auto call = std::make_shared<Call>();
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) return false;
    }
    // Blocking queued invocations would deadlock a GUI thread that is itself waiting for this
    // thread, as it does when the application quits during a grab.
    QMetaObject::invokeMethod(
        &m_context,
        [this, call, function] {
            {
                std::lock_guard lock(m_mutex);
                if (call->abandoned) return;
                call->started = true;
            }
            function();
            {
                std::lock_guard lock(m_mutex);
                call->finished = true;
            }
            m_changed.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, m_longestWait, [&] { return call->finished || m_closed; });
    if (call->started && !call->finished) {
        // Running on the GUI thread right now: it is short and does not wait for this thread.
        m_changed.wait(lock, [&] { return call->finished; });
    }
    if (!call->finished) call->abandoned = true;
    return call->finished;
}

bool GuiThreadCall::waitUntil(std::chrono::milliseconds timeout,
                              const std::function<bool()>& done) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, timeout, [&] { return done() || m_closed; });
    return done();
}

void GuiThreadCall::complete(const std::function<void()>& change) {
    {
        std::lock_guard lock(m_mutex);
        change();
    }
    m_changed.notify_all();
}

}  // namespace orvane
