// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QImage>

#include <vector>

#include "adapters/qt/GuiThreadCall.h"
#include "platform/ScreenSource.h"

class QWindow;

namespace orvane {

// What the ways of taking screen pictures through Qt share: the calls come from a background
// thread and hand the work that touches windows to the GUI thread; scaling and encoding stay
// off it. Made on the GUI thread.
class GuiScreenSource : public ScreenSource {
public:
    // Longest a call waits for the GUI thread to take its part.
    static constexpr std::chrono::milliseconds guiWait{5000};

    GuiScreenSource() : m_gui(guiWait) {}

    // The displays (the primary first: pictures are taken of it) and Orvane's visible windows.
    std::optional<ShareableContent> shareableContent() override;

    // The GUI thread is about to stop running its event loop (the application quits): calls
    // waiting for it, and calls made from now on, give up at once. GUI thread only.
    void close() { m_gui.close(); }

protected:
    // Orvane's visible top-level windows among these. GUI thread only.
    static std::vector<QWindow*> visibleWindows(const std::vector<WindowInfo>& windows);
    // The picture as PNG, shrunk to the settings' size when larger: enlarging adds bytes to the
    // request and nothing to the picture.
    static ScreenPicture encode(QImage picture, const ScreenCaptureSettings& settings);

    GuiThreadCall m_gui;
};

}  // namespace orvane
