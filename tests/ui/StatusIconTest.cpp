// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <tuple>

#include "app/StatusIcon.h"
#include "ui/AppHarness.h"

namespace orvane::testing {
namespace {

using State = StatusIcon::State;

QStringList titles(QMenu* menu) {
    QStringList list;
    for (auto* action : menu->actions()) list << (action->isSeparator() ? "-" : action->text());
    return list;
}

QAction* item(QMenu* menu, const QString& title) {
    for (auto* action : menu->actions()) {
        if (action->text() == title) return action;
    }
    return nullptr;
}

TEST(StatusIconTest, ShowsTheStateOnceInstalledAndItsMenuCallsBack) {
    StatusIcon icon;
    icon.setState(State::listening);
    EXPECT_FALSE(icon.isInstalled());
    EXPECT_TRUE(icon.shownSymbol().isEmpty()) << "nothing is shown before install";
    icon.install();
    EXPECT_EQ(icon.shownSymbol(), "waveform") << "the first install draws the state set before";
    EXPECT_FALSE(icon.statusItem()->icon().isNull());
    EXPECT_EQ(icon.statusItem()->toolTip(), "Orvane");
    EXPECT_EQ(titles(icon.menu()), QStringList({"Start Session", "-", "About Orvane",
                                                "Preferences...", "-", "Sign Out", "Quit Orvane"}));
    EXPECT_EQ(item(icon.menu(), "Preferences...")->shortcut(), QKeySequence("Ctrl+,"));
    EXPECT_EQ(item(icon.menu(), "Quit Orvane")->shortcut(), QKeySequence("Ctrl+Q"));
    icon.setNote("Hidden while your screen is shared");
    EXPECT_EQ(titles(icon.menu()).front(), "Hidden while your screen is shared");
    EXPECT_EQ(icon.statusItem()->toolTip(), "Orvane: Hidden while your screen is shared");
    icon.setNote({});
    EXPECT_EQ(titles(icon.menu()).front(), "Start Session");
    for (const auto& [state, symbol, command] :
         {std::tuple{State::processing, "ellipsis.bubble", "Stop Session"},
          std::tuple{State::listening, "waveform", "Stop Session"},
          std::tuple{State::idle, "bubble.left", "Start Session"}}) {
        icon.setState(state);
        EXPECT_EQ(icon.shownSymbol(), symbol);
        EXPECT_EQ(icon.startStopItem()->text(), command);
    }
    for (auto* action : icon.menu()->actions()) action->trigger();  // without callbacks: nothing
    std::vector<std::string> calls;
    icon.onStartStop = [&] { calls.push_back("start-stop"); };
    icon.onAbout = [&] { calls.push_back("about"); };
    icon.onPreferences = [&] { calls.push_back("preferences"); };
    icon.onSignOut = [&] { calls.push_back("sign-out"); };
    icon.onQuit = [&] { calls.push_back("quit"); };
    for (const char* title :
         {"Start Session", "About Orvane", "Preferences...", "Sign Out", "Quit Orvane"}) {
        item(icon.menu(), title)->trigger();
    }
    EXPECT_EQ(calls,
              (std::vector<std::string>{"start-stop", "about", "preferences", "sign-out", "quit"}));
    EXPECT_EQ(icon.state(), State::idle) << "commands change nothing by themselves";

    // Installing again replaces the item and titles the menu afresh.
    icon.setState(State::listening);
    const auto* first = icon.statusItem();
    icon.install();
    EXPECT_NE(icon.statusItem(), first);
    EXPECT_EQ(icon.startStopItem()->text(), "Start Session");
    EXPECT_EQ(icon.shownSymbol(), "waveform");
}

}  // namespace
}  // namespace orvane::testing
