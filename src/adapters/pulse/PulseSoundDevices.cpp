// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/pulse/PulseSoundDevices.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

#include <chrono>

namespace orvane {

namespace {

struct Listing {
    bool monitors = false;
    bool done = false;
    std::vector<SoundDevice> found{};
};

void sourceInfo(pa_context*, const pa_source_info* info, int eol, void* data) {
    auto& listing = *static_cast<Listing*>(data);
    if (eol || !info) {
        listing.done = true;
        return;
    }
    const bool monitor = info->monitor_of_sink != PA_INVALID_INDEX;
    if (monitor != listing.monitors || !info->name) return;
    listing.found.push_back({info->name, info->description ? info->description : info->name});
}

// The sources of one kind, asked of the server on a main loop of this call's own.
std::vector<SoundDevice> sources(bool monitors) {
    Listing listing{monitors};
    auto* loop = pa_mainloop_new();
    if (!loop) return {};
    auto* context = pa_context_new(pa_mainloop_get_api(loop), "Orvane");
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) == 0) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        bool asked = false;
        while (!listing.done && std::chrono::steady_clock::now() < until) {
            const auto state = pa_context_get_state(context);
            if (!PA_CONTEXT_IS_GOOD(state)) break;
            if (state == PA_CONTEXT_READY && !asked) {
                asked = true;
                if (auto* operation =
                        pa_context_get_source_info_list(context, sourceInfo, &listing)) {
                    pa_operation_unref(operation);
                }
            }
            // Waits at most 50 ms for the server, so the deadline holds.
            pa_mainloop_prepare(loop, 50000);
            pa_mainloop_poll(loop);
            pa_mainloop_dispatch(loop);
        }
        pa_context_disconnect(context);
    }
    if (context) pa_context_unref(context);
    pa_mainloop_free(loop);
    return listing.done ? listing.found : std::vector<SoundDevice>{};
}

}  // namespace

std::vector<SoundDevice> PulseSoundDevices::outputs() {
    return sources(true);
}

std::vector<SoundDevice> PulseSoundDevices::inputs() {
    return sources(false);
}

}  // namespace orvane
