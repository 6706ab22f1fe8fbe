// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QAbstractNativeEventFilter>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/GlobalShortcuts.h"

namespace orvane {

// Global shortcuts on an X11 desktop: passive key grabs on the root window, so the keys reach
// Orvane whichever window has the focus. A combination another program already grabbed is left
// to it and reported as not bound. Needs the xcb platform; GUI thread only.
class X11GlobalShortcuts : public GlobalShortcuts, private QAbstractNativeEventFilter {
public:
    X11GlobalShortcuts();
    ~X11GlobalShortcuts() override;

    void bind(std::vector<GlobalShortcut> shortcuts,
              std::function<void(ShortcutBindings)> onBound) override;

private:
    struct Grab {
        std::string id;
        std::uint8_t keycode = 0;
        std::uint16_t modifiers = 0;
        bool down = false;
    };

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    void releaseAll();

    std::vector<Grab> m_grabs;
    bool m_filtering = false;
};

}  // namespace orvane
