// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// Runs under Xvfb (see tests/ui/CMakeLists.txt): real passive key grabs, keys typed by xdotool
// through the XTEST extension, as a keyboard would.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QProcess>
#include <QTest>
#include <QWidget>

#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

#include <QTest>
#include "adapters/qt/X11GlobalShortcuts.h"
#include "adapters/qt/X11ShareWatcher.h"
#include "session/DesktopShortcuts.h"

namespace orvane {
namespace {

using ::testing::HasSubstr;

void xdotool(const QStringList& arguments) {
    ASSERT_EQ(QProcess::execute("xdotool", arguments), 0) << arguments.join(' ').toStdString();
}

// Another X client, as a desktop's own key bindings would be.
class OtherClient {
public:
    OtherClient() : m_connection(xcb_connect(nullptr, nullptr)) {}
    ~OtherClient() { xcb_disconnect(m_connection); }
    // Grabs Ctrl+Alt and this key (an X key name); true when the server granted it.
    bool grab(const char* key) {
        const auto keycode = keycodeOf(XStringToKeysym(key));
        if (keycode == 0) return false;
        const auto root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        auto* error = xcb_request_check(
            m_connection,
            xcb_grab_key_checked(m_connection, 1, root, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1,
                                 keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        return error == nullptr;
    }

    // Shows a window of this class ("instance\0Class") and title, as a program would.
    xcb_window_t show(std::string_view windowClass, std::string_view title) {
        const auto* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        const auto window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 300, 30,
                          0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS,
                            XCB_ATOM_STRING, 8, windowClass.size(), windowClass.data());
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
                            XCB_ATOM_STRING, 8, title.size(), title.data());
        xcb_map_window(m_connection, window);
        xcb_flush(m_connection);
        return window;
    }
    void close(xcb_window_t window) {
        xcb_destroy_window(m_connection, window);
        xcb_flush(m_connection);
    }

private:
    xcb_keycode_t keycodeOf(KeySym wanted) {
        const auto* setup = xcb_get_setup(m_connection);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        auto* mapping = xcb_get_keyboard_mapping_reply(
            m_connection, xcb_get_keyboard_mapping(m_connection, setup->min_keycode, count),
            nullptr);
        if (!mapping) return 0;
        const auto* symbols = xcb_get_keyboard_mapping_keysyms(mapping);
        xcb_keycode_t found = 0;
        for (int key = 0; key < count && !found; ++key) {
            if (symbols[key * mapping->keysyms_per_keycode] == wanted) {
                found = static_cast<xcb_keycode_t>(setup->min_keycode + key);
            }
        }
        std::free(mapping);
        return found;
    }

    xcb_connection_t* m_connection;
};

class KeyGrabs : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server";
        shortcuts = std::make_unique<X11GlobalShortcuts>();
        shortcuts->onPressed = [this](const std::string& id) { events.push_back("+" + id); };
        shortcuts->onReleased = [this](const std::string& id) { events.push_back("-" + id); };
    }
    ShortcutBindings bind(std::vector<GlobalShortcut> wanted = desktopShortcuts()) {
        ShortcutBindings result;
        shortcuts->bind(std::move(wanted), [&](ShortcutBindings bound) { result = bound; });
        return result;
    }

    std::unique_ptr<X11GlobalShortcuts> shortcuts;
    std::vector<std::string> events;
};

TEST_F(KeyGrabs, TheDesktopShortcutsAreBoundReadableAndEndHoweverTheyAreLetGo) {
    const auto bound = bind();
    EXPECT_EQ(bound.via, "X11 key grabs");
    EXPECT_EQ(bound.problem, "");
    ASSERT_EQ(bound.bound.size(), 4u);
    EXPECT_EQ(bound.bound[0].id, shortcut::pushToTalk);
    EXPECT_EQ(bound.bound[0].trigger, "Ctrl+Alt+Space");
    EXPECT_EQ(bound.bound[1].trigger, "Ctrl+Alt+S");

    // Letting go of the modifiers first still ends a shortcut, and Num Lock does not stop one.
    xdotool({"keydown", "ctrl+alt+space"});
    xdotool({"keyup", "ctrl"});
    xdotool({"keyup", "alt"});
    xdotool({"keyup", "space"});
    xdotool({"key", "Num_Lock"});
    xdotool({"key", "ctrl+alt+s"});
    xdotool({"key", "Num_Lock"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() >= 4; }));
    EXPECT_EQ(events, (std::vector<std::string>{"+push-to-talk", "-push-to-talk", "+screenshot",
                                                "-screenshot"}));
}

TEST_F(KeyGrabs, AHeldKeyIsOnePressAndOneReleaseThoughTheServerRepeatsIt) {
    bind();
    xdotool({"keydown", "ctrl+alt+space"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !events.empty(); }));
    QTest::qWait(1200);  // past the server's repeat delay
    xdotool({"keyup", "ctrl+alt+space"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() >= 2; }));
    QTest::qWait(100);
    EXPECT_EQ(events, (std::vector<std::string>{"+push-to-talk", "-push-to-talk"}));
}

TEST_F(KeyGrabs, PlainKeysStillReachTheFocusedWindow) {
    struct Typed : QWidget {
        std::vector<int> keys;
        void keyPressEvent(QKeyEvent* event) override { keys.push_back(event->key()); }
    } window;
    window.setGeometry(50, 50, 200, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isActiveWindow(); }));
    bind();
    xdotool({"key", "space"});
    xdotool({"key", "ctrl+alt+c"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.keys.empty() && events.size() >= 2; }));
    EXPECT_EQ(window.keys.front(), Qt::Key_Space);
    EXPECT_EQ(std::count(window.keys.begin(), window.keys.end(), Qt::Key_C), 0)
        << "the grabbed combination did not leak to the window";
    EXPECT_EQ(events, (std::vector<std::string>{"+copy-answer", "-copy-answer"}));
}

TEST_F(KeyGrabs, ACombinationAnotherProgramHoldsIsReportedAndTheRestAreBound) {
    OtherClient other;
    ASSERT_TRUE(other.grab("s"));
    const auto bound = bind();
    ASSERT_EQ(bound.bound.size(), 3u);
    for (const auto& binding : bound.bound) EXPECT_NE(binding.id, shortcut::screenshot);
    EXPECT_EQ(bound.problem, "Another program already uses Ctrl+Alt+S.");
}

TEST_F(KeyGrabs, BindingAgainOrEndingGivesTheOldKeysBack) {
    bind();
    bind({{shortcut::togglePanel, "Show or hide", "CTRL+ALT+o"}});
    {
        OtherClient other;
        EXPECT_TRUE(other.grab("space")) << "rebinding released the keys no longer asked for";
    }
    xdotool({"key", "ctrl+alt+space"});
    xdotool({"key", "ctrl+alt+o"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() >= 2; }));
    EXPECT_EQ(events, (std::vector<std::string>{"+toggle-panel", "-toggle-panel"}));
    shortcuts.reset();
    OtherClient other;
    EXPECT_TRUE(other.grab("o")) << "ending released every grab";
}

// A share is seen by the window the calling program shows while it shares the whole screen: only
// a known program's, only for the whole screen, and only while it is shown.
TEST(ShareIndicators, AreSeenComingAndGoingInTheWindowList) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server";
    OtherClient call;
    X11ShareWatcher watcher;
    ASSERT_THAT(watcher.method(), HasSubstr("Chrome"));
    std::vector<bool> seen;
    watcher.watch([&](bool sharing) { seen.push_back(sharing); });
    using namespace std::string_view_literals;
    const auto chrome = "google-chrome\0Google-chrome\0"sv;
    call.show(chrome, "meet.google.com is sharing a window.");
    call.show("xterm\0XTerm\0"sv, "meet.google.com is sharing your screen.");
    const auto bar = call.show(chrome, "meet.google.com is sharing your screen.");
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.isSharing(); }, 5000));
    call.close(bar);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher.isSharing(); }, 5000));
    const auto zoom = call.show("zoom\0zoom\0"sv, "as_toolbar");
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.isSharing(); }, 5000));
    call.close(zoom);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher.isSharing(); }, 5000));
    EXPECT_EQ(seen, (std::vector<bool>{true, false, true, false}));
}

}  // namespace
}  // namespace orvane
