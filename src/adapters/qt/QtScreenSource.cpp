// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/qt/QtScreenSource.h"

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QWindow>

#include <X11/Xlib.h>

namespace orvane {

namespace {

// Whether a compositing manager draws the X screen; without one, window opacity is ignored.
bool x11HasCompositor() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->display()) return false;
    Display* display = x11->display();
    const auto name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
    const Atom selection = XInternAtom(display, name.c_str(), False);
    return XGetSelectionOwner(display, selection) != None;
}

}  // namespace

ScreenPicture QtScreenSource::capturePNG(const DisplayInfo& display,
                                         const ScreenCaptureSettings& settings,
                                         const std::vector<WindowInfo>& excludedWindows) {
    QImage picture;
    const bool ran = m_gui.run([&] {
        const auto screens = QGuiApplication::screens();
        auto* screen = QGuiApplication::primaryScreen();
        if (display.displayID > 1 &&
            display.displayID - 1 < static_cast<std::uint32_t>(screens.size())) {
            screen = screens[static_cast<int>(display.displayID - 1)];
        }
        if (!screen) return;
        // A compositor leaves a fully transparent window out of the picture without a flicker;
        // a bare X server ignores opacity, so there the window is unmapped for the moment.
        const bool transparent = x11HasCompositor();
        std::vector<std::pair<QWindow*, double>> hidden;
        for (auto* window : visibleWindows(excludedWindows)) {
            hidden.emplace_back(window, window->opacity());
            if (transparent) {
                window->setOpacity(0.0);
            } else {
                window->hide();
            }
        }
        if (!hidden.empty()) {
            QGuiApplication::sync();
            QThread::msleep(50);  // the repaint of what was underneath
        }
        // X11 grabs leave the pointer out.
        picture = screen->grabWindow(0).toImage();
        for (auto& [window, opacity] : hidden) {
            if (transparent) {
                window->setOpacity(opacity);
            } else {
                window->show();
            }
        }
    });
    if (!ran) {
        return ScreenPicture::failed(ScreenPicture::Failure::unavailable,
                                     "Orvane is closing; no screenshot was taken.");
    }
    if (picture.isNull()) {
        return ScreenPicture::failed(ScreenPicture::Failure::unavailable,
                                     "The X server gave no picture of the screen.");
    }
    return encode(std::move(picture), settings);
}

}  // namespace orvane
