// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/qt/QtScreenSource.h"

#include <QtGui/qguiapplication_platform.h>
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
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

// One hand-over to the GUI thread. A call that gave up is marked abandoned, so that the GUI thread
// never runs a function whose caller (and the locals it refers to) has gone.
struct QtScreenSource::GuiCall {
    bool started = false;
    bool finished = false;
    bool abandoned = false;
};

QtScreenSource::QtScreenSource() = default;

QtScreenSource::~QtScreenSource() {
    close();
}

void QtScreenSource::close() {
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_changed.notify_all();
}

bool QtScreenSource::onGuiThread(std::function<void()> function) {
    if (QThread::currentThread() == m_guiContext.thread()) {
        function();
        return true;
    }
    auto call = std::make_shared<GuiCall>();
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) return false;
    }
    // Blocking queued invocations would deadlock a GUI thread that is itself waiting for this
    // thread, as it does when the application quits during a grab.
    QMetaObject::invokeMethod(
        &m_guiContext,
        [this, call, function] {
            {
                std::lock_guard lock(m_mutex);
                if (call->abandoned) return;
                call->started = true;
            }
            function();
            {
                std::lock_guard lock(m_mutex);
                call->finished = true;
            }
            m_changed.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::milliseconds(guiWaitMilliseconds),
                       [&] { return call->finished || m_closed; });
    if (call->started && !call->finished) {
        // Running on the GUI thread right now: it is short and does not wait for this thread.
        m_changed.wait(lock, [&] { return call->finished; });
    }
    if (!call->finished) call->abandoned = true;
    return call->finished;
}

std::optional<ShareableContent> QtScreenSource::shareableContent() {
    std::optional<ShareableContent> content;
    onGuiThread([&] {
        const auto* primary = QGuiApplication::primaryScreen();
        if (!primary) return;
        ShareableContent found;
        std::uint32_t id = 1;
        // The primary screen first: it is the one pictures are taken of.
        const auto describe = [&id](const QScreen* screen) {
            return DisplayInfo{id++, screen->geometry().width(), screen->geometry().height(),
                               screen->devicePixelRatio()};
        };
        found.displays.push_back(describe(primary));
        for (const auto* screen : QGuiApplication::screens()) {
            if (screen != primary) found.displays.push_back(describe(screen));
        }
        for (const auto* window : QGuiApplication::topLevelWindows()) {
            if (window->isVisible())
                found.windows.push_back({static_cast<std::uint32_t>(window->winId())});
        }
        content = std::move(found);
    });
    return content;
}

std::optional<std::vector<std::uint8_t>> QtScreenSource::capturePNG(
    const DisplayInfo& display, const ScreenCaptureSettings& settings,
    const std::vector<WindowInfo>& excludedWindows) {
    QImage picture;
    onGuiThread([&] {
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
        for (auto* window : QGuiApplication::topLevelWindows()) {
            for (const auto& excluded : excludedWindows) {
                if (window->isVisible() &&
                    static_cast<std::uint32_t>(window->winId()) == excluded.windowID) {
                    hidden.emplace_back(window, window->opacity());
                    if (transparent) {
                        window->setOpacity(0.0);
                    } else {
                        window->hide();
                    }
                }
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
    if (picture.isNull()) return std::nullopt;
    // Only ever smaller: enlarging adds bytes to the request and nothing to the picture.
    if (settings.width > 0 && settings.height > 0 &&
        (picture.width() > settings.width || picture.height() > settings.height)) {
        picture = picture.scaled(settings.width, settings.height, Qt::KeepAspectRatio,
                                 Qt::SmoothTransformation);
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG")) return std::nullopt;
    return std::vector<std::uint8_t>(png.begin(), png.end());
}

}  // namespace orvane
