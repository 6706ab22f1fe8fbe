// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/pipewire/PipeWireQtLoop.h"

#include <QSocketNotifier>

#include <pipewire/pipewire.h>

namespace orvane {

PipeWireQtLoop::PipeWireQtLoop() {
    pw_init(nullptr, nullptr);
    m_loop = pw_loop_new(nullptr);
    if (!m_loop) return;
    m_context = pw_context_new(m_loop, nullptr, 0);
    pw_loop_enter(m_loop);
}

PipeWireQtLoop::~PipeWireQtLoop() {
    m_events.reset();
    if (m_context) pw_context_destroy(m_context);
    if (m_loop) {
        pw_loop_leave(m_loop);
        pw_loop_destroy(m_loop);
    }
}

void PipeWireQtLoop::runOnQt(QObject* owner) {
    if (!m_loop || m_events) return;
    m_events = std::make_unique<QSocketNotifier>(pw_loop_get_fd(m_loop), QSocketNotifier::Read);
    QObject::connect(m_events.get(), &QSocketNotifier::activated, owner,
                     [this] { dispatchPending(); });
    dispatchPending();
}

void PipeWireQtLoop::dispatchPending() {
    if (!m_loop) return;
    while (pw_loop_iterate(m_loop, 0) > 0) {
    }
}

}  // namespace orvane
