// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QDBusConnection>

#include "adapters/qt/GuiScreenSource.h"

namespace orvane {

// Screen pictures through the desktop's screenshot portal, the one way a Wayland desktop (and
// an X11 program on it) lets a program see the whole screen. Windows to leave out are hidden for
// the moment of the picture. The portal writes a PNG file and answers with its address; it is
// read and deleted, so no screenshot stays behind on disk.
class PortalScreenSource : public GuiScreenSource {
public:
    // Longest wait for the portal's answer; a first picture may wait for the user to allow it.
    static constexpr std::chrono::milliseconds answerWait{30000};
    // Time given to the compositor to redraw what hidden windows covered.
    static constexpr int settleMilliseconds = 150;

    explicit PortalScreenSource(QDBusConnection bus = QDBusConnection::sessionBus())
        : m_bus(std::move(bus)) {}

    ScreenPicture capturePNG(const DisplayInfo& display, const ScreenCaptureSettings& settings,
                             const std::vector<WindowInfo>& excludedWindows) override;

private:
    struct Outcome;
    void request(const std::shared_ptr<Outcome>& outcome);
    void finish(const std::shared_ptr<Outcome>& outcome, const std::function<void()>& record);
    static ScreenPicture picture(const Outcome& outcome, const ScreenCaptureSettings& settings);

    QDBusConnection m_bus;
};

}  // namespace orvane
