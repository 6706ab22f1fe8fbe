// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/pipewire/PipeWireShareWatcher.h"

#include <QTimer>

#include <pipewire/pipewire.h>

#include <cstring>
#include <string_view>

namespace orvane {

namespace {

bool isScreenSource(const spa_dict* props) {
    const char* mediaClass = props ? spa_dict_lookup(props, PW_KEY_MEDIA_CLASS) : nullptr;
    if (!mediaClass) return false;
    const std::string_view kind(mediaClass);
    if (kind != "Video/Source" && kind != "Stream/Output/Video") return false;
    // A camera, through v4l2 or libcamera, is a device's node.
    return !spa_dict_lookup(props, PW_KEY_DEVICE_ID) && !spa_dict_lookup(props, PW_KEY_DEVICE_API);
}

std::uint32_t numberIn(const spa_dict* props, const char* key) {
    const char* text = props ? spa_dict_lookup(props, key) : nullptr;
    return text ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10)) : SPA_ID_INVALID;
}

}  // namespace

struct PipeWireShareWatcher::Listener {
    spa_hook registry{};
    spa_hook core{};
    pw_registry_events registryEvents{};
    pw_core_events coreEvents{};
};

PipeWireShareWatcher::PipeWireShareWatcher() : m_listener(std::make_unique<Listener>()) {
    m_connectedOnce = m_loop.context() && connectCore();
}

PipeWireShareWatcher::~PipeWireShareWatcher() {
    disconnectCore();
}

bool PipeWireShareWatcher::connectCore() {
    m_core = pw_context_connect(m_loop.context(), nullptr, 0);
    if (!m_core) return false;
    m_registry = pw_core_get_registry(m_core, PW_VERSION_REGISTRY, 0);
    auto& events = m_listener->registryEvents;
    events.version = PW_VERSION_REGISTRY_EVENTS;
    events.global = [](void* data, std::uint32_t id, std::uint32_t, const char* type, std::uint32_t,
                       const spa_dict* props) {
        auto* self = static_cast<PipeWireShareWatcher*>(data);
        if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
            self->nodeAdded(id, isScreenSource(props));
        } else if (std::strcmp(type, PW_TYPE_INTERFACE_Link) == 0) {
            self->linkAdded(id, numberIn(props, PW_KEY_LINK_OUTPUT_NODE));
        }
    };
    events.global_remove = [](void* data, std::uint32_t id) {
        static_cast<PipeWireShareWatcher*>(data)->removed(id);
    };
    pw_registry_add_listener(m_registry, &m_listener->registry, &events, this);
    // PipeWire gone (restarted, or the session ending): nothing is known to be shared.
    m_listener->coreEvents.version = PW_VERSION_CORE_EVENTS;
    m_listener->coreEvents.error = [](void* data, std::uint32_t id, int, int result, const char*) {
        if (id == PW_ID_CORE && result == -EPIPE) {
            static_cast<PipeWireShareWatcher*>(data)->disconnected();
        }
    };
    pw_core_add_listener(m_core, &m_listener->core, &m_listener->coreEvents, this);
    return true;
}

void PipeWireShareWatcher::disconnectCore() {
    if (m_registry) {
        spa_hook_remove(&m_listener->registry);
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(m_registry));
        m_registry = nullptr;
    }
    if (m_core) {
        spa_hook_remove(&m_listener->core);
        pw_core_disconnect(m_core);
        m_core = nullptr;
    }
}

// The graph that comes back with a restarted PipeWire is told again as the registry's globals,
// shares already under way among them.
void PipeWireShareWatcher::reconnect() {
    disconnectCore();
    if (connectCore()) {
        m_loop.dispatchPending();
        return;
    }
    QTimer::singleShot(reconnectMilliseconds, this, [this] { reconnect(); });
}

std::string PipeWireShareWatcher::method() const {
    return m_connectedOnce ? "the screen-sharing streams in PipeWire" : std::string();
}

void PipeWireShareWatcher::watch(std::function<void(bool sharing)> onChanged) {
    m_onChanged = std::move(onChanged);
    if (!m_connectedOnce || m_watching) {
        if (m_sharing && m_onChanged) m_onChanged(true);
        return;
    }
    m_watching = true;
    m_loop.runOnQt(this);
}

void PipeWireShareWatcher::nodeAdded(std::uint32_t id, bool screenSource) {
    if (!screenSource) return;
    m_screenSources.insert(id);
    update();
}

void PipeWireShareWatcher::linkAdded(std::uint32_t id, std::uint32_t outputNode) {
    m_links[id] = outputNode;
    update();
}

void PipeWireShareWatcher::removed(std::uint32_t id) {
    m_screenSources.erase(id);
    m_links.erase(id);
    update();
}

void PipeWireShareWatcher::disconnected() {
    m_screenSources.clear();
    m_links.clear();
    update();
    // Not from inside the core's own callback: once PipeWire's loop has returned to Qt's.
    QTimer::singleShot(reconnectMilliseconds, this, [this] { reconnect(); });
}

void PipeWireShareWatcher::update() {
    bool sharing = false;
    for (const auto& [link, node] : m_links) sharing = sharing || m_screenSources.contains(node);
    if (sharing == m_sharing) return;
    m_sharing = sharing;
    if (m_onChanged) m_onChanged(sharing);
}

}  // namespace orvane
