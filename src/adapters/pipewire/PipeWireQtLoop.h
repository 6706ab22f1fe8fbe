// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <memory>

class QObject;
class QSocketNotifier;
struct pw_context;
struct pw_loop;

namespace orvane {

// A PipeWire loop and context whose events are dispatched by Qt's event loop on the GUI thread,
// so PipeWire's callbacks and Qt's code never run at once. Whatever is connected on the context
// must be destroyed before this is.
class PipeWireQtLoop {
public:
    PipeWireQtLoop();
    ~PipeWireQtLoop();
    PipeWireQtLoop(const PipeWireQtLoop&) = delete;
    PipeWireQtLoop& operator=(const PipeWireQtLoop&) = delete;

    // Null when PipeWire's library could not make one.
    pw_context* context() const { return m_context; }
    // From now on, whenever PipeWire has something to tell, it is told within Qt's loop; events
    // already waiting are told at once. The dispatching ends with owner or with this loop.
    void runOnQt(QObject* owner);
    // Tells every event already waiting.
    void dispatchPending();

private:
    pw_loop* m_loop = nullptr;
    pw_context* m_context = nullptr;
    std::unique_ptr<QSocketNotifier> m_events;
};

}  // namespace orvane
