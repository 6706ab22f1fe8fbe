// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "session/DesktopShortcuts.h"

#include <algorithm>
#include <cctype>

namespace orvane {

const std::vector<KeyBinding>& keyBindings() {
    using Where = KeyBinding::Where;
    // On the desktop Ctrl+Alt leaves the call's own keys (space to unmute, Ctrl+Shift+M) alone.
    static const std::vector<KeyBinding> table = {
        {shortcut::pushToTalk, Where::panel, "Space", "Push to talk: hold to ask a question"},
        {shortcut::screenshot, Where::panel, "Ctrl+Shift+S",
         "Take a screenshot for the next answer"},
        {shortcut::copyAnswer, Where::panel, "Ctrl+Shift+C", "Copy the answer"},
        {"copy-code", Where::panel, "Ctrl+Shift+K", "Copy the answer's last code block"},
        {"previous-answer", Where::panel, "Left", "Show the answer before"},
        {"next-answer", Where::panel, "Right", "Show the answer after"},
        {"start-stop", Where::panel, "Ctrl+Return", "Start or stop the session"},
        {"ask-again", Where::panel, "Ctrl+R", "Ask the failed question again"},
        {"settings-menu", Where::panel, "F10", "Open the settings menu"},
        {"preferences", Where::menu, "Ctrl+,", "Open Preferences"},
        {"quit", Where::menu, "Ctrl+Q", "Quit Orvane"},
        {shortcut::pushToTalk, Where::desktop, "Ctrl+Alt+Space",
         "Push to talk: hold to ask a question"},
        {shortcut::screenshot, Where::desktop, "Ctrl+Alt+S",
         "Take a screenshot for the next answer"},
        {shortcut::copyAnswer, Where::desktop, "Ctrl+Alt+C", "Copy the answer"},
        {shortcut::togglePanel, Where::desktop, "Ctrl+Alt+O", "Show or hide the panel"},
    };
    return table;
}

std::string_view keysFor(std::string_view id, KeyBinding::Where where) {
    for (const auto& binding : keyBindings()) {
        if (binding.id == id && binding.where == where) return binding.keys;
    }
    return {};
}

std::vector<GlobalShortcut> desktopShortcuts() {
    std::vector<GlobalShortcut> wanted;
    for (const auto& binding : keyBindings()) {
        if (binding.where != KeyBinding::Where::desktop) continue;
        // The portal's trigger syntax: modifiers in capitals, the key in lower case.
        std::string trigger(binding.keys);
        const auto key = trigger.rfind('+') + 1;
        std::transform(trigger.begin(), trigger.begin() + key, trigger.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        std::transform(trigger.begin() + key, trigger.end(), trigger.begin() + key,
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        wanted.push_back({std::string(binding.id), std::string(binding.action), trigger});
    }
    return wanted;
}

}  // namespace orvane
