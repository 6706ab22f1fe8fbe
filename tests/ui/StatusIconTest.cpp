// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "app/StatusIcon.h"
#include "overlay/UIHelpers.h"
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

TEST(StatusIconTest, NothingIsShownBeforeInstall) {
    StatusIcon icon;
    icon.setState(State::listening);
    EXPECT_FALSE(icon.isInstalled());
    EXPECT_EQ(icon.state(), State::listening);
    EXPECT_TRUE(icon.shownSymbol().isEmpty());
    // The first install draws the state set before it.
    icon.install();
    EXPECT_TRUE(icon.isInstalled());
    EXPECT_EQ(icon.shownSymbol(), "waveform");
    EXPECT_EQ(icon.shownTint(), UI::systemGreen());
    EXPECT_FALSE(icon.statusItem()->icon().isNull());
    EXPECT_EQ(icon.statusItem()->toolTip(), "Orvane");
}

TEST(StatusIconTest, TheMenuHoldsTheCommandsInOrder) {
    StatusIcon icon;
    icon.install();
    EXPECT_EQ(titles(icon.menu()), QStringList({"Start Session", "-", "About Orvane",
                                                "Preferences...", "-", "Sign Out", "Quit Orvane"}));
    EXPECT_EQ(item(icon.menu(), "Preferences...")->shortcut(), QKeySequence("Ctrl+,"));
    EXPECT_EQ(item(icon.menu(), "Quit Orvane")->shortcut(), QKeySequence("Ctrl+Q"));
    EXPECT_TRUE(item(icon.menu(), "Sign Out")->shortcut().isEmpty());
}

TEST(StatusIconTest, EachStateHasItsSymbolTintAndTitle) {
    StatusIcon icon;
    icon.install();
    icon.setState(State::processing);
    EXPECT_EQ(icon.shownSymbol(), "ellipsis.bubble");
    EXPECT_EQ(icon.shownTint(), UI::systemOrange());
    EXPECT_EQ(icon.startStopItem()->text(), "Stop Session");
    icon.setState(State::listening);
    EXPECT_EQ(icon.shownSymbol(), "waveform");
    EXPECT_EQ(icon.startStopItem()->text(), "Stop Session");
    icon.setState(State::idle);
    EXPECT_EQ(icon.shownSymbol(), "bubble.left");
    EXPECT_EQ(icon.shownTint(), UI::secondaryLabelColor());
    EXPECT_EQ(icon.startStopItem()->text(), "Start Session");
}

TEST(StatusIconTest, CommandsCallTheirCallbacksAndChangeNothingElse) {
    StatusIcon icon;
    icon.install();
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
    EXPECT_EQ(icon.state(), State::idle);
    EXPECT_EQ(icon.startStopItem()->text(), "Start Session");
}

TEST(StatusIconTest, ACommandWithoutACallbackDoesNothing) {
    StatusIcon icon;
    icon.install();
    for (auto* action : icon.menu()->actions()) action->trigger();
    EXPECT_EQ(icon.state(), State::idle);
}

TEST(StatusIconTest, InstallingAgainReplacesTheItemAndTitlesTheMenuAfresh) {
    StatusIcon icon;
    icon.install();
    icon.setState(State::listening);
    const auto* first = icon.statusItem();
    icon.install();
    EXPECT_NE(icon.statusItem(), first);
    EXPECT_EQ(icon.startStopItem()->text(), "Start Session");
    EXPECT_EQ(icon.shownSymbol(), "waveform");
}

}  // namespace
}  // namespace orvane::testing
