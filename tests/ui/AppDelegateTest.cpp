// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <QTest>

#include "accounts/ui/LoginWindow.h"
#include "app/AppDelegate.h"
#include "app/PreferencesWindow.h"
#include "overlay/ContextSheet.h"
#include "overlay/FloatingPanelWindow.h"
#include "ui/AppHarness.h"

namespace orvane::testing {
namespace {

using State = SessionManager::State;

QAction* command(QWidget* window, const QKeySequence& keys) {
    for (auto* action : window->actions()) {
        if (action->shortcut() == keys) return action;
    }
    return nullptr;
}

class Shell : public ::testing::Test {
protected:
    Shell() : app(h.services(), AppHarness::sessionConfig()) {
        app.onQuit = [this] { ++quits; };
        app.onSessionCreated = [this](SessionManager& session) { sessions.push_back(&session); };
    }
    ~Shell() override { AppHarness::releaseDroppedWindows(); }

    void signInThroughTheLoginWindow(const std::string& name = "Ada") {
        ASSERT_NE(app.loginWindow(), nullptr);
        app.loginWindow()->signInGoogle();
        h.completeGoogleSignIn({{"id", "u1"}, {"firstName", name}});
        h.mainQueue.advance(LoginWindow::welcomeDelaySeconds);
    }

    AppHarness h;
    AppDelegate app;
    int quits = 0;
    std::vector<SessionManager*> sessions;
};

TEST_F(Shell, ALaunchSignedOutShowsTheLoginWindowOnly) {
    app.applicationDidFinishLaunching();
    ASSERT_NE(app.loginWindow(), nullptr);
    EXPECT_TRUE(app.loginWindow()->isVisible());
    EXPECT_EQ(app.floatingPanel(), nullptr);
    EXPECT_FALSE(app.statusIcon().isInstalled());
    EXPECT_EQ(app.statusIcon().state(), StatusIcon::State::idle);
}

TEST_F(Shell, ALaunchWithATokenGoesStraightToThePanel) {
    h.auth.setAccessToken("held");
    app.applicationDidFinishLaunching();
    EXPECT_EQ(app.loginWindow(), nullptr);
    ASSERT_NE(app.floatingPanel(), nullptr);
    EXPECT_TRUE(app.floatingPanel()->isVisible());
    EXPECT_TRUE(app.statusIcon().isInstalled());
}

TEST_F(Shell, SigningInSwitchesToThePanelAndFollowsTheSession) {
    app.applicationDidFinishLaunching();
    signInThroughTheLoginWindow();
    ASSERT_NE(app.floatingPanel(), nullptr);
    EXPECT_TRUE(app.floatingPanel()->isVisible());
    // The login window is hidden, not released.
    ASSERT_NE(app.loginWindow(), nullptr);
    EXPECT_FALSE(app.loginWindow()->isVisible());
    EXPECT_TRUE(app.statusIcon().isInstalled());
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0], &app.floatingPanel()->session());

    app.floatingPanel()->toggleSession();
    h.mainQueue.runUntilIdle();
    h.background.runAll();
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(app.floatingPanel()->session().state(), State::listening);
    EXPECT_EQ(app.statusIcon().state(), StatusIcon::State::listening);
    EXPECT_EQ(app.statusIcon().startStopItem()->text(), "Stop Session");
}

TEST_F(Shell, SigningOutDropsThePanelAndPreferencesAndShowsANewLoginWindow) {
    app.applicationDidFinishLaunching();
    signInThroughTheLoginWindow();
    const QPointer<LoginWindow> firstLogin = app.loginWindow();
    app.showPreferences();
    const QPointer<PreferencesWindow> preferences = app.preferencesWindow();
    const QPointer<FloatingPanelWindow> panel = app.floatingPanel();
    app.floatingPanel()->toggleSession();
    h.mainQueue.runUntilIdle();

    app.handleSignOut();
    EXPECT_FALSE(h.auth.isAuthenticated());
    EXPECT_EQ(app.floatingPanel(), nullptr);
    EXPECT_EQ(app.preferencesWindow(), nullptr);
    ASSERT_NE(app.loginWindow(), nullptr);
    EXPECT_NE(app.loginWindow(), firstLogin.data());
    EXPECT_TRUE(app.loginWindow()->isVisible());
    EXPECT_EQ(app.statusIcon().state(), StatusIcon::State::idle);
    // The status icon stays; the windows go once the event loop runs.
    EXPECT_TRUE(app.statusIcon().isInstalled());
    AppHarness::releaseDroppedWindows();
    EXPECT_TRUE(panel.isNull());
    EXPECT_TRUE(preferences.isNull());
    EXPECT_TRUE(firstLogin.isNull());
}

TEST_F(Shell, SigningOutFromThePanelsOwnMenuIsSafe) {
    app.applicationDidFinishLaunching();
    signInThroughTheLoginWindow();
    app.floatingPanel()->onSignOut();
    AppHarness::releaseDroppedWindows();
    EXPECT_EQ(app.floatingPanel(), nullptr);
    EXPECT_TRUE(app.loginWindow()->isVisible());
}

TEST_F(Shell, ANewSignInGivesANewPanelWithAnEmptyHistory) {
    app.applicationDidFinishLaunching();
    signInThroughTheLoginWindow();
    app.floatingPanel()->session().history().append("What is CAP?", "A trade-off.");
    app.handleSignOut();
    signInThroughTheLoginWindow("Grace");
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(app.floatingPanel()->session().history().count(), 0);
    EXPECT_EQ(app.floatingPanel()->session().state(), State::idle);
}

TEST_F(Shell, PreferencesOpenOnceAndAfreshAfterClosing) {
    h.auth.setAccessToken("held");
    app.applicationDidFinishLaunching();
    app.showPreferences();
    auto* first = app.preferencesWindow();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    app.handlePreferencesMenu();
    EXPECT_EQ(app.preferencesWindow(), first);

    first->close();
    // Let go only once the close has finished.
    EXPECT_EQ(app.preferencesWindow(), first);
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(app.preferencesWindow(), nullptr);
    AppHarness::releaseDroppedWindows();
    app.showPreferences();
    ASSERT_NE(app.preferencesWindow(), nullptr);
    EXPECT_TRUE(app.preferencesWindow()->isVisible());
}

TEST_F(Shell, StartStopFromTheStatusIconOnlyBringsAHiddenPanelBack) {
    h.auth.setAccessToken("held");
    app.applicationDidFinishLaunching();
    auto* panel = app.floatingPanel();
    app.statusIcon().startStopItem()->trigger();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->session().state(), State::idle);

    panel->close();
    EXPECT_FALSE(panel->isVisible());
    app.statusIcon().startStopItem()->trigger();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->session().state(), State::idle);
}

TEST_F(Shell, ReopeningBringsThePanelForwardAndWithoutOneDoesNothing) {
    app.applicationDidFinishLaunching();
    auto* login = app.loginWindow();
    login->hide();
    EXPECT_FALSE(app.applicationShouldHandleReopen());
    EXPECT_FALSE(login->isVisible());
    EXPECT_EQ(app.floatingPanel(), nullptr);

    signInThroughTheLoginWindow();
    app.floatingPanel()->hide();
    EXPECT_FALSE(app.applicationShouldHandleReopen());
    EXPECT_TRUE(app.floatingPanel()->isVisible());
}

TEST_F(Shell, ASecondLaunchBringsBackAClosedLoginWindow) {
    app.applicationDidFinishLaunching();
    app.loginWindow()->close();
    EXPECT_TRUE(app.handleMessage("activate"));
    EXPECT_TRUE(app.loginWindow()->isVisible());
}

TEST_F(Shell, TheContextSheetSetsTheSessionsContextAndIsReleased) {
    h.auth.setAccessToken("held");
    app.applicationDidFinishLaunching();
    app.floatingPanel()->onOpenContext();
    const QPointer<ContextSheet> first = app.contextSheet();
    ASSERT_FALSE(first.isNull());
    EXPECT_TRUE(first->isVisible());

    // A second sheet neither reuses nor closes the first.
    app.showContextSheet();
    const QPointer<ContextSheet> second = app.contextSheet();
    EXPECT_NE(first.data(), second.data());
    EXPECT_TRUE(first->isVisible());

    second->companyField()->setText("Acme");
    second->roleField()->setText("SRE");
    second->handleSave();
    EXPECT_EQ(app.floatingPanel()->session().systemContext(), "Company: Acme\nRole: SRE");
    AppHarness::releaseDroppedWindows();
    EXPECT_TRUE(second.isNull());
    EXPECT_EQ(app.contextSheet(), nullptr);
    EXPECT_FALSE(first.isNull());

    first->handleSkip();
    EXPECT_EQ(app.floatingPanel()->session().systemContext(), "");
}

TEST_F(Shell, AnOpenContextSheetSurvivesSignOut) {
    h.auth.setAccessToken("held");
    app.applicationDidFinishLaunching();
    app.showContextSheet();
    const QPointer<ContextSheet> sheet = app.contextSheet();
    app.handleSignOut();
    AppHarness::releaseDroppedWindows();
    ASSERT_FALSE(sheet.isNull());
    EXPECT_TRUE(sheet->isVisible());
    // Saving with no panel only releases the sheet.
    sheet->handleSave();
    AppHarness::releaseDroppedWindows();
    EXPECT_TRUE(sheet.isNull());
}

TEST_F(Shell, WindowsCarryTheApplicationsShortcutsAndClosingNeverQuits) {
    h.auth.setAccessToken("held");
    app.applicationDidFinishLaunching();
    auto* panel = app.floatingPanel();
    for (const char* keys : {"Ctrl+,", "Ctrl+Q", "Ctrl+M", "Ctrl+W"}) {
        EXPECT_NE(command(panel, QKeySequence(keys)), nullptr) << keys;
    }
    command(panel, QKeySequence("Ctrl+W"))->trigger();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(quits, 0);
    EXPECT_EQ(app.floatingPanel(), panel);

    command(panel, QKeySequence("Ctrl+,"))->trigger();
    ASSERT_NE(app.preferencesWindow(), nullptr);
    EXPECT_NE(command(app.preferencesWindow(), QKeySequence("Ctrl+Q")), nullptr);
    command(app.preferencesWindow(), QKeySequence("Ctrl+Q"))->trigger();
    EXPECT_EQ(quits, 1);
}

TEST_F(Shell, TheStatusIconsCommandsReachTheShell) {
    h.auth.setAccessToken("held");
    app.applicationDidFinishLaunching();
    auto& icon = app.statusIcon();
    icon.onPreferences();
    EXPECT_NE(app.preferencesWindow(), nullptr);
    icon.onAbout();
    ASSERT_NE(app.aboutBox(), nullptr);
    EXPECT_EQ(app.aboutBox()->windowTitle(), "About Orvane");
    EXPECT_TRUE(app.aboutBox()->text().contains("Version 0.2.0 (2)"));
    EXPECT_TRUE(app.aboutBox()->text().contains(
        QString::fromUtf8("AI overlay assistant \u2014 invisible to screen recorders.")));
    icon.onQuit();
    EXPECT_EQ(quits, 1);
    icon.onSignOut();
    EXPECT_EQ(app.floatingPanel(), nullptr);
    EXPECT_NE(app.loginWindow(), nullptr);
}

TEST_F(Shell, MessagesFromAnotherLaunchAreCarriedOut) {
    QString redirected;
    app.onRedirect = [&](const QString& url) {
        redirected = url;
        return true;
    };
    app.applicationDidFinishLaunching();
    EXPECT_TRUE(app.handleMessage("open scheme:/oauth2redirect/google?code=1"));
    EXPECT_EQ(redirected, "scheme:/oauth2redirect/google?code=1");

    EXPECT_TRUE(app.handleMessage("sign-in"));
    EXPECT_EQ(h.webAuth.sessions.size(), 1u);
    h.completeGoogleSignIn({{"firstName", "Ada"}});
    h.mainQueue.advance(1.0);
    ASSERT_NE(app.floatingPanel(), nullptr);

    EXPECT_TRUE(app.handleMessage("toggle-session"));
    h.mainQueue.runUntilIdle();
    h.background.runAll();
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(app.floatingPanel()->session().state(), State::listening);

    EXPECT_TRUE(app.handleMessage("sign-out"));
    EXPECT_EQ(app.floatingPanel(), nullptr);
    EXPECT_FALSE(app.handleMessage("format-disk"));
}

}  // namespace
}  // namespace orvane::testing
