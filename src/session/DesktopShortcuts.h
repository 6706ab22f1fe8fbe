// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/GlobalShortcuts.h"

namespace orvane {

// The panel's actions that must work while the call has the keyboard, and the keys asked for.
namespace shortcut {
inline constexpr const char* pushToTalk = "push-to-talk";
inline constexpr const char* screenshot = "screenshot";
inline constexpr const char* copyAnswer = "copy-answer";
inline constexpr const char* togglePanel = "toggle-panel";
}  // namespace shortcut

// Every key Orvane answers, in one table: the panel, its menus and the desktop read their keys
// from it, and Preferences and the README list it as it stands.
struct KeyBinding {
    enum class Where { panel, menu, desktop };
    std::string_view id;
    Where where;
    std::string_view keys;    // as Qt writes them: "Ctrl+Shift+S", "Space", "Left"
    std::string_view action;  // "Take a screenshot for the next answer"
};
const std::vector<KeyBinding>& keyBindings();
// The keys of an entry by its id and place; empty for none.
std::string_view keysFor(std::string_view id, KeyBinding::Where where = KeyBinding::Where::panel);

// The desktop's entries, as a global-shortcuts service is asked for them ("CTRL+ALT+s").
std::vector<GlobalShortcut> desktopShortcuts();

}  // namespace orvane
