// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QObject>

#include <cstdint>
#include <map>
#include <memory>
#include <set>

#include "adapters/pipewire/PipeWireQtLoop.h"
#include "platform/ShareWatcher.h"

struct pw_core;
struct pw_registry;

namespace orvane {

// Every screen share on a Wayland desktop (GNOME, KDE Plasma, wlroots, Hyprland, niri) goes
// through the ScreenCast portal and comes out as a video source the compositor feeds into
// PipeWire. Watches the PipeWire graph for such a source being linked to a consumer: a share
// under way. Cameras are devices' nodes, never a share. Runs PipeWire's loop on Qt's, so every
// report comes on the GUI thread. A PipeWire that goes away (restarted after an update or a
// resume) is connected to again until it is back.
class PipeWireShareWatcher : public QObject, public ShareWatcher {
    Q_OBJECT
public:
    // Connects to the user's PipeWire; without one it can tell nothing (method() is empty).
    PipeWireShareWatcher();
    ~PipeWireShareWatcher() override;

    // How long after losing PipeWire, and between tries, it connects again.
    static constexpr int reconnectMilliseconds = 1000;

    std::string method() const override;
    // The consumer's link comes before the stream's first buffer.
    bool seesSharesBeforeTheirFrames() const override { return true; }
    void watch(std::function<void(bool sharing)> onChanged) override;
    bool isSharing() const { return m_sharing; }

    struct Listener;

private:
    friend struct Listener;
    void nodeAdded(std::uint32_t id, bool screenSource);
    void linkAdded(std::uint32_t id, std::uint32_t outputNode);
    void removed(std::uint32_t id);
    void disconnected();
    bool connectCore();
    void disconnectCore();
    void reconnect();
    void update();

    PipeWireQtLoop m_loop;
    pw_core* m_core = nullptr;
    pw_registry* m_registry = nullptr;
    std::unique_ptr<Listener> m_listener;
    std::set<std::uint32_t> m_screenSources;
    std::map<std::uint32_t, std::uint32_t> m_links;  // link -> the node it takes from
    bool m_connectedOnce = false;
    bool m_watching = false;
    bool m_sharing = false;
    std::function<void(bool)> m_onChanged;
};

}  // namespace orvane
