// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <memory>

#include "adapters/qt/GuiScreenSource.h"
#include "platform/GlobalShortcuts.h"
#include "platform/ShareTrial.h"
#include "platform/ShareWatcher.h"

namespace orvane::desktop {

// What kind of desktop Orvane runs on, read from its environment, and the adapters that fit it.
bool hasDisplay();
bool onWayland();
// Runs Orvane through XWayland where it is there: a Wayland window can be neither kept on top nor
// placed. Call before the application object is made.
void preferXWayland();
// Whether the window manager keeps a window marked "above" over every other window.
bool windowManagerKeepsPanelAbove();
// Screenshots and global shortcuts: X11 grabs on X11, the desktop's portals on Wayland.
std::unique_ptr<GuiScreenSource> screenSource();
std::unique_ptr<GlobalShortcuts> globalShortcuts();
// What tells of a screen share: on X11, the calling programs' sharing indicator windows; on
// Wayland, the screencast streams in PipeWire (XWayland shows only X11 programs' windows).
std::unique_ptr<ShareWatcher> shareWatcher();
// A test share, made as calls on this desktop make theirs: through the ScreenCast portal on
// Wayland. None on X11, where calls capture the screen themselves and a test could not show it.
std::unique_ptr<ShareTrial> shareTrial();

}  // namespace orvane::desktop
