// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/qt/X11GlobalShortcuts.h"

#include <QtGui/qguiapplication_platform.h>
#include <QCoreApplication>
#include <QGuiApplication>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <cctype>
#include <cstdlib>

namespace orvane {

namespace {

constexpr std::uint16_t kMeaningfulModifiers =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
// Caps Lock and Num Lock (Mod2 on every common layout) must not stop a shortcut from working.
constexpr std::uint16_t kLockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                           XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

QNativeInterface::QX11Application* x11() {
    return qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
}

xcb_window_t rootWindow(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

struct ParsedTrigger {
    std::uint16_t modifiers = 0;
    KeySym key = NoSymbol;
};

ParsedTrigger parse(const std::string& trigger) {
    ParsedTrigger parsed;
    std::size_t start = 0;
    while (true) {
        const auto end = trigger.find('+', start);
        std::string part = trigger.substr(start, end == std::string::npos ? end : end - start);
        if (end == std::string::npos) {
            parsed.key = XStringToKeysym(part.c_str());
            break;
        }
        for (auto& c : part) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (part == "SHIFT") parsed.modifiers |= XCB_MOD_MASK_SHIFT;
        if (part == "CTRL" || part == "CONTROL") parsed.modifiers |= XCB_MOD_MASK_CONTROL;
        if (part == "ALT") parsed.modifiers |= XCB_MOD_MASK_1;
        if (part == "LOGO" || part == "SUPER") parsed.modifiers |= XCB_MOD_MASK_4;
        start = end + 1;
    }
    return parsed;
}

}  // namespace

X11GlobalShortcuts::X11GlobalShortcuts() = default;

X11GlobalShortcuts::~X11GlobalShortcuts() {
    releaseAll();
    if (m_filtering && QCoreApplication::instance()) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

void X11GlobalShortcuts::bind(std::vector<GlobalShortcut> shortcuts,
                              std::function<void(ShortcutBindings)> onBound) {
    releaseAll();
    ShortcutBindings result;
    auto* native = x11();
    if (!native || !native->connection() || !native->display()) {
        result.problem = "Global shortcuts need an X11 display.";
        if (onBound) onBound(std::move(result));
        return;
    }
    xcb_connection_t* connection = native->connection();
    Display* display = native->display();
    // Held keys repeat as presses only, never as a release followed by a press: a held
    // push-to-talk key must not let go of the microphone.
    Bool detectable = False;
    XkbSetDetectableAutoRepeat(display, True, &detectable);

    std::vector<std::string> taken;
    for (const auto& shortcut : shortcuts) {
        const auto trigger = parse(shortcut.preferredTrigger);
        const KeyCode keycode =
            trigger.key == NoSymbol ? 0 : XKeysymToKeycode(display, trigger.key);
        if (keycode == 0) {
            taken.push_back(readableTrigger(shortcut.preferredTrigger));
            continue;
        }
        bool granted = true;
        for (const auto variant : kLockVariants) {
            auto cookie =
                xcb_grab_key_checked(connection, 1, rootWindow(connection),
                                     static_cast<std::uint16_t>(trigger.modifiers | variant),
                                     keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
            if (auto* error = xcb_request_check(connection, cookie)) {
                granted = false;  // BadAccess: another program holds this combination
                std::free(error);
            }
        }
        if (!granted) {
            for (const auto variant : kLockVariants) {
                xcb_ungrab_key(connection, keycode, rootWindow(connection),
                               static_cast<std::uint16_t>(trigger.modifiers | variant));
            }
            taken.push_back(readableTrigger(shortcut.preferredTrigger));
            continue;
        }
        m_grabs.push_back({shortcut.id, keycode, trigger.modifiers, false});
        result.bound.push_back({shortcut.id, readableTrigger(shortcut.preferredTrigger)});
    }
    xcb_flush(connection);
    if (!m_filtering) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filtering = true;
    }
    result.via = "X11 key grabs";
    if (!taken.empty()) {
        std::string keys;
        for (const auto& key : taken) keys += (keys.empty() ? "" : ", ") + key;
        result.problem = "Another program already uses " + keys + ".";
    }
    if (onBound) onBound(std::move(result));
}

void X11GlobalShortcuts::releaseAll() {
    auto* native = x11();
    if (native && native->connection()) {
        for (const auto& grab : m_grabs) {
            for (const auto variant : kLockVariants) {
                xcb_ungrab_key(native->connection(), grab.keycode, rootWindow(native->connection()),
                               static_cast<std::uint16_t>(grab.modifiers | variant));
            }
        }
        xcb_flush(native->connection());
    }
    m_grabs.clear();
}

bool X11GlobalShortcuts::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<xcb_generic_event_t*>(message);
    const auto type = event->response_type & ~0x80;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) return false;
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    for (auto& grab : m_grabs) {
        if (key->detail != grab.keycode) continue;
        if (type == XCB_KEY_PRESS) {
            if ((key->state & kMeaningfulModifiers) != grab.modifiers) continue;
            if (grab.down) return true;  // a repeat of a held key
            grab.down = true;
            if (onPressed) onPressed(grab.id);
            return true;
        }
        // The modifiers may be let go first; the key's own release still ends the shortcut.
        if (!grab.down) continue;
        grab.down = false;
        if (onReleased) onReleased(grab.id);
        return true;
    }
    return false;
}

}  // namespace orvane
