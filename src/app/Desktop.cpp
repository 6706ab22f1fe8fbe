// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/Desktop.h"

#include <QByteArray>
#include <QtGlobal>

#include "adapters/pipewire/PipeWireShareWatcher.h"
#include "adapters/pipewire/PortalShareTrial.h"
#include "adapters/qt/PortalGlobalShortcuts.h"
#include "adapters/qt/PortalScreenSource.h"
#include "adapters/qt/QtScreenSource.h"
#include "adapters/qt/X11GlobalShortcuts.h"
#include "adapters/qt/X11ShareWatcher.h"

namespace orvane::desktop {

bool hasDisplay() {
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

bool onWayland() {
    return qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qgetenv("XDG_SESSION_TYPE") == QByteArrayLiteral("wayland");
}

// A Wayland program cannot keep its window above others nor place it; through XWayland it can,
// on every desktop that runs XWayland (GNOME, KDE, wlroots). Screenshots and shortcuts then go
// through the desktop's portals, since X11 grabs see only other X11 programs there.
void preferXWayland() {
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) return;
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && qEnvironmentVariableIsSet("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
}

// GNOME's and KDE's window managers keep an X11 window marked "above" over Wayland windows too;
// wlroots compositors (sway and its kin) have no such order, but draw unmanaged X11 windows over
// every other window.
bool windowManagerKeepsPanelAbove() {
    if (!onWayland()) return true;
    const auto desktop = qgetenv("XDG_CURRENT_DESKTOP").toUpper();
    return desktop.contains("GNOME") || desktop.contains("KDE");
}

std::unique_ptr<GuiScreenSource> screenSource() {
    if (onWayland()) return std::make_unique<PortalScreenSource>();
    return std::make_unique<QtScreenSource>();
}

std::unique_ptr<GlobalShortcuts> globalShortcuts() {
    if (onWayland()) return std::make_unique<PortalGlobalShortcuts>();
    return std::make_unique<X11GlobalShortcuts>();
}

std::unique_ptr<ShareWatcher> shareWatcher() {
    if (onWayland()) return std::make_unique<PipeWireShareWatcher>();
    return std::make_unique<X11ShareWatcher>();
}

std::unique_ptr<ShareTrial> shareTrial() {
    if (onWayland()) return std::make_unique<PortalShareTrial>();
    return nullptr;
}

}  // namespace orvane::desktop
