// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QObject>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace orvane {

// Hands work from a background thread to the GUI thread and waits for it, for a bounded time.
// Made on the GUI thread. Once closed (the event loop is about to stop), waiting calls and calls
// made from then on give up at once, so a background queue drained at exit never hangs.
class GuiThreadCall {
public:
    explicit GuiThreadCall(std::chrono::milliseconds longestWait) : m_longestWait(longestWait) {}
    ~GuiThreadCall() { close(); }
    GuiThreadCall(const GuiThreadCall&) = delete;
    GuiThreadCall& operator=(const GuiThreadCall&) = delete;

    // Runs the function on the GUI thread; false when it did not run there. From the GUI thread
    // it runs at once.
    bool run(std::function<void()> function);

    // For work the GUI thread finishes later (a D-Bus reply): waits until done() holds, the
    // time is up or the call is closed. done() is read under the lock complete() takes.
    bool waitUntil(std::chrono::milliseconds timeout, const std::function<bool()>& done);
    // Changes what waitUntil's done() reads, under its lock, and wakes the waiter.
    void complete(const std::function<void()>& change);

    void close();
    bool closed();

    // The GUI thread's object for queued calls and timers.
    QObject* context() { return &m_context; }

private:
    struct Call;

    std::chrono::milliseconds m_longestWait;
    QObject m_context;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_closed = false;
};

}  // namespace orvane
