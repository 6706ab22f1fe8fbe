// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/pipewire/PipeWireStreamViewer.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

#include <array>

namespace orvane {

struct PipeWireStreamViewer::Listener {
    spa_hook stream{};
    pw_stream_events events{};
    // A source that goes away leaves the stream paused, not ended: its node leaving the graph
    // tells.
    spa_hook registry{};
    pw_registry_events registryEvents{};
    std::uint32_t node = SPA_ID_INVALID;
};

namespace {

// Every raw layout a compositor's screencast offers in shared memory; the size and rate are the
// source's to choose.
const spa_pod* videoFormats(spa_pod_builder& builder) {
    const spa_rectangle size = SPA_RECTANGLE(320, 240);
    const spa_rectangle smallest = SPA_RECTANGLE(1, 1);
    const spa_rectangle largest = SPA_RECTANGLE(16384, 16384);
    const spa_fraction rate = SPA_FRACTION(30, 1);
    const spa_fraction slowest = SPA_FRACTION(0, 1);
    const spa_fraction fastest = SPA_FRACTION(1000, 1);
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(7, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBA,
                               SPA_VIDEO_FORMAT_xRGB, SPA_VIDEO_FORMAT_xBGR),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &smallest, &largest),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rate, &slowest, &fastest)));
}

}  // namespace

PipeWireStreamViewer::PipeWireStreamViewer(int fd, std::uint32_t node,
                                           std::function<void()> onFirstFrame,
                                           std::function<void(const std::string&)> onFailed)
    : m_listener(std::make_unique<Listener>()),
      m_onFirstFrame(std::move(onFirstFrame)),
      m_onFailed(std::move(onFailed)) {
    if (!m_loop.context() || !connectStream(fd, node)) {
        failed("Cannot reach the screen's stream in PipeWire.");
        return;
    }
    m_loop.runOnQt(this);
}

PipeWireStreamViewer::~PipeWireStreamViewer() {
    if (m_stream) {
        spa_hook_remove(&m_listener->stream);
        pw_stream_destroy(m_stream);
    }
    if (m_registry) {
        spa_hook_remove(&m_listener->registry);
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(m_registry));
    }
    if (m_core) pw_core_disconnect(m_core);
}

bool PipeWireStreamViewer::connectStream(int fd, std::uint32_t node) {
    m_core = fd >= 0 ? pw_context_connect_fd(m_loop.context(), fd, nullptr, 0)
                     : pw_context_connect(m_loop.context(), nullptr, 0);
    if (!m_core) return false;
    m_listener->node = node;
    m_registry = pw_core_get_registry(m_core, PW_VERSION_REGISTRY, 0);
    m_listener->registryEvents.version = PW_VERSION_REGISTRY_EVENTS;
    m_listener->registryEvents.global_remove = [](void* data, std::uint32_t id) {
        auto* self = static_cast<PipeWireStreamViewer*>(data);
        if (id == self->m_listener->node) self->failed("The screen's stream ended.");
    };
    pw_registry_add_listener(m_registry, &m_listener->registry, &m_listener->registryEvents, this);
    m_stream = pw_stream_new(m_core, "Orvane test share",
                             pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                               "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (!m_stream) return false;
    auto& events = m_listener->events;
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = [](void* data, pw_stream_state, pw_stream_state state,
                              const char* error) {
        if (state == PW_STREAM_STATE_ERROR) {
            static_cast<PipeWireStreamViewer*>(data)->failed(
                std::string("The screen's stream failed: ") + (error ? error : "?"));
        }
    };
    events.process = [](void* data) {
        auto* self = static_cast<PipeWireStreamViewer*>(data);
        while (pw_buffer* buffer = pw_stream_dequeue_buffer(self->m_stream)) {
            pw_stream_queue_buffer(self->m_stream, buffer);
            self->frameArrived();
        }
    };
    pw_stream_add_listener(m_stream, &m_listener->stream, &events, this);
    std::array<std::uint8_t, 1024> space{};
    auto builder = SPA_POD_BUILDER_INIT(space.data(), static_cast<std::uint32_t>(space.size()));
    const spa_pod* params[] = {videoFormats(builder)};
    return pw_stream_connect(m_stream, PW_DIRECTION_INPUT, node,
                             static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT |
                                                          PW_STREAM_FLAG_MAP_BUFFERS),
                             params, 1) == 0;
}

void PipeWireStreamViewer::frameArrived() {
    if (++m_frames != 1 || !m_onFirstFrame) return;
    // Not from inside PipeWire's callback: the report may well destroy this viewer.
    QMetaObject::invokeMethod(
        this, [this] { m_onFirstFrame(); }, Qt::QueuedConnection);
}

void PipeWireStreamViewer::failed(const std::string& problem) {
    if (std::exchange(m_failed, true) || !m_onFailed) return;
    QMetaObject::invokeMethod(
        this, [this, problem] { m_onFailed(problem); }, Qt::QueuedConnection);
}

}  // namespace orvane
