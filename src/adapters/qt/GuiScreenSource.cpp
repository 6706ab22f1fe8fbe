// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/qt/GuiScreenSource.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

namespace orvane {

std::optional<ShareableContent> GuiScreenSource::shareableContent() {
    std::optional<ShareableContent> content;
    m_gui.run([&] {
        const auto* primary = QGuiApplication::primaryScreen();
        if (!primary) return;
        ShareableContent found;
        std::uint32_t id = 1;
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

std::vector<QWindow*> GuiScreenSource::visibleWindows(const std::vector<WindowInfo>& windows) {
    std::vector<QWindow*> found;
    for (auto* window : QGuiApplication::topLevelWindows()) {
        for (const auto& wanted : windows) {
            if (window->isVisible() &&
                static_cast<std::uint32_t>(window->winId()) == wanted.windowID) {
                found.push_back(window);
            }
        }
    }
    return found;
}

ScreenPicture GuiScreenSource::encode(QImage picture, const ScreenCaptureSettings& settings) {
    if (picture.isNull()) {
        return ScreenPicture::failed(ScreenPicture::Failure::failed,
                                     "The screenshot could not be read.");
    }
    if (settings.width > 0 && settings.height > 0 &&
        (picture.width() > settings.width || picture.height() > settings.height)) {
        picture = picture.scaled(settings.width, settings.height, Qt::KeepAspectRatio,
                                 Qt::SmoothTransformation);
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG")) {
        return ScreenPicture::failed(ScreenPicture::Failure::failed,
                                     "The screenshot could not be encoded.");
    }
    return ScreenPicture::taken(std::vector<std::uint8_t>(png.begin(), png.end()));
}

}  // namespace orvane
