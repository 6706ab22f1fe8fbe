// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "session/DesktopShortcuts.h"

namespace orvane {

std::vector<GlobalShortcut> desktopShortcuts() {
    // Ctrl+Alt leaves the call's own keys (space to unmute, Ctrl+Shift+M) alone.
    return {
        {shortcut::pushToTalk, "Push to talk: hold to dictate a question", "CTRL+ALT+space"},
        {shortcut::screenshot, "Take a screenshot for the next answer", "CTRL+ALT+s"},
        {shortcut::copyAnswer, "Copy the answer", "CTRL+ALT+c"},
        {shortcut::togglePanel, "Show or hide the panel", "CTRL+ALT+o"},
    };
}

}  // namespace orvane
