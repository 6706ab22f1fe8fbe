// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cctype>
#include <functional>
#include <string>
#include <vector>

namespace orvane {

// A key combination that reaches Orvane while another program (the call) has the keyboard.
struct GlobalShortcut {
    std::string id;           // what it does: "push-to-talk", "screenshot", ...
    std::string description;  // for the user, where the desktop asks them to confirm
    // Modifiers and a key name joined by "+", as the desktop portal writes them:
    // "CTRL+ALT+space". Modifiers: SHIFT, CTRL, ALT, LOGO.
    std::string preferredTrigger;
};

struct ShortcutBinding {
    std::string id;
    std::string trigger;  // the keys as the user should read them: "Ctrl+Alt+Space"
};

// What the desktop granted.
struct ShortcutBindings {
    std::vector<ShortcutBinding> bound;  // possibly fewer than asked for, or none
    std::string via;                     // how they are bound, for the user; empty for not at all
    std::string problem;                 // why some or all are missing, as a sentence
};

// How a trigger reads for a person: "CTRL+ALT+space" is "Ctrl+Alt+Space".
inline std::string readableTrigger(const std::string& trigger) {
    std::string readable;
    std::size_t start = 0;
    while (start <= trigger.size()) {
        auto end = trigger.find('+', start);
        if (end == std::string::npos) end = trigger.size();
        std::string part = trigger.substr(start, end - start);
        for (auto& c : part) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (part == "ctrl" || part == "control") {
            part = "Ctrl";
        } else if (part == "logo" || part == "super") {
            part = "Super";
        } else if (!part.empty()) {
            part[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(part[0])));
        }
        if (!readable.empty()) readable += '+';
        readable += part;
        start = end + 1;
    }
    return readable;
}

// Shortcuts that work everywhere on the desktop. Main thread only: it calls back there.
class GlobalShortcuts {
public:
    virtual ~GlobalShortcuts() = default;

    // Asks for these shortcuts (replacing any asked for before); onBound says, once, what the
    // desktop bound.
    virtual void bind(std::vector<GlobalShortcut> shortcuts,
                      std::function<void(ShortcutBindings)> onBound) = 0;

    // A bound shortcut went down, and came up again.
    std::function<void(const std::string& id)> onPressed;
    std::function<void(const std::string& id)> onReleased;
};

}  // namespace orvane
