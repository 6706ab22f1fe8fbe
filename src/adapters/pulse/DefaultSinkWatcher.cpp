// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/pulse/DefaultSinkWatcher.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>

namespace orvane::pulse {

struct DefaultSinkWatcher::Callbacks {
    static void sinkInfo(pa_context*, const pa_sink_info* info, int eol, void* data) {
        auto* self = static_cast<DefaultSinkWatcher*>(data);
        if (eol || !info || !info->monitor_source_name || !self->m_onChanged) return;
        self->m_onChanged(info->monitor_source_name);
    }
    static void serverInfo(pa_context* context, const pa_server_info* info, void* data) {
        auto* self = static_cast<DefaultSinkWatcher*>(data);
        if (!info || !info->default_sink_name) return;
        const std::string sink = info->default_sink_name;
        const bool changed = self->m_knowsDefault && sink != self->m_defaultSink;
        self->m_defaultSink = sink;
        self->m_knowsDefault = true;
        if (!changed) return;
        if (auto* operation =
                pa_context_get_sink_info_by_name(context, sink.c_str(), sinkInfo, data))
            pa_operation_unref(operation);
    }
    static void event(pa_context* context, pa_subscription_event_type_t type, uint32_t,
                      void* data) {
        if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SERVER) return;
        if (auto* operation = pa_context_get_server_info(context, serverInfo, data))
            pa_operation_unref(operation);
    }
    static void state(pa_context* context, void* data) {
        if (pa_context_get_state(context) != PA_CONTEXT_READY) return;
        pa_context_set_subscribe_callback(context, event, data);
        if (auto* operation =
                pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr))
            pa_operation_unref(operation);
        if (auto* operation = pa_context_get_server_info(context, serverInfo, data))
            pa_operation_unref(operation);
    }
};

DefaultSinkWatcher::DefaultSinkWatcher(std::function<void(const std::string&)> onChanged)
    : m_onChanged(std::move(onChanged)) {
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop) return;
    pa_threaded_mainloop_set_name(m_loop, "orvane-sinks");
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Orvane");
    if (!m_context) return;
    pa_context_set_state_callback(m_context, Callbacks::state, this);
    pa_threaded_mainloop_lock(m_loop);
    const bool connecting =
        pa_context_connect(
            m_context, nullptr,
            static_cast<pa_context_flags_t>(PA_CONTEXT_NOFAIL | PA_CONTEXT_NOAUTOSPAWN),
            nullptr) == 0;
    pa_threaded_mainloop_unlock(m_loop);
    if (connecting) pa_threaded_mainloop_start(m_loop);
}

DefaultSinkWatcher::~DefaultSinkWatcher() {
    if (m_loop) pa_threaded_mainloop_stop(m_loop);
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    if (m_loop) pa_threaded_mainloop_free(m_loop);
}

}  // namespace orvane::pulse
