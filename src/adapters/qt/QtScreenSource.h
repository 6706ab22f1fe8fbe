// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QObject>

#include <condition_variable>
#include <functional>
#include <mutex>

#include "platform/ScreenSource.h"
#include "platform/Workspace.h"

namespace orvane {

// Screen pictures through Qt (X11): the primary screen grabbed without the pointer, shrunk to
// the size asked for when larger and encoded as PNG. A window to leave out is made fully
// transparent for the moment of the grab and restored after. Qt grabs only on the GUI thread, so
// the calls, made on a background thread, hand the grab to it and wait, for a bounded time;
// scaling and encoding stay off the GUI thread.
class QtScreenSource : public ScreenSource {
public:
    // Longest a call waits for the GUI thread to take its part.
    static constexpr int guiWaitMilliseconds = 5000;

    QtScreenSource();
    ~QtScreenSource() override;

    std::optional<ShareableContent> shareableContent() override;
    std::optional<std::vector<std::uint8_t>> capturePNG(
        const DisplayInfo& display, const ScreenCaptureSettings& settings,
        const std::vector<WindowInfo>& excludedWindows) override;

    // The GUI thread is about to stop running its event loop (the application quits): calls
    // waiting for it, and calls made from now on, give up at once. GUI thread only.
    void close();

private:
    struct GuiCall;
    // Runs the function on the GUI thread and waits for it; false when it did not run there.
    bool onGuiThread(std::function<void()> function);

    QObject m_guiContext;  // lives on the GUI thread
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_closed = false;
};

// The Linux desktop around Orvane. X11 and Wayland cannot leave a window out of other programs'
// screen capture, so the panel is told so; there is no privacy page to open either.
class LinuxWorkspace : public Workspace {
public:
    bool setExcludedFromCapture(std::uint64_t, bool) override { return false; }
};

}  // namespace orvane
