// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QObject>

#include "platform/ScreenSource.h"
#include "platform/Workspace.h"

namespace orvane {

// Screen pictures through Qt (X11): the primary screen grabbed without the pointer, scaled to
// the size asked for and encoded as PNG. A window to leave out is made fully transparent for the
// moment of the grab and restored after. Qt grabs only on the GUI thread, so the calls, made on a
// background thread, hand the grab to it and wait; scaling and encoding stay off the GUI thread.
class QtScreenSource : public ScreenSource {
public:
    QtScreenSource();
    ~QtScreenSource() override;

    std::optional<ShareableContent> shareableContent() override;
    std::optional<std::vector<std::uint8_t>> capturePNG(
        const DisplayInfo& display, const ScreenCaptureSettings& settings,
        const std::vector<WindowInfo>& excludedWindows) override;

private:
    QObject m_guiContext;  // lives on the GUI thread
};

// The Linux desktop around Orvane. X11 and Wayland cannot leave a window out of other programs'
// screen capture, so the panel is told so; there is no privacy page to open either.
class LinuxWorkspace : public Workspace {
public:
    bool setExcludedFromCapture(std::uint64_t, bool) override { return false; }
};

}  // namespace orvane
