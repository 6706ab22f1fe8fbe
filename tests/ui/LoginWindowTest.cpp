// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <QTest>

#include "accounts/ui/LoginWindow.h"
#include "overlay/LineLimitedLabel.h"
#include "overlay/UIHelpers.h"
#include "ui/AppHarness.h"

namespace orvane::testing {
namespace {

class Login : public ::testing::Test {
protected:
    Login() {
        window = std::make_unique<LoginWindow>(h.auth, h.mainQueue);
        window->onAuthenticated = [this] { ++authenticatedCalls; };
    }
    QString status() const { return window->statusLabel()->fullText(); }

    AppHarness h;
    std::unique_ptr<LoginWindow> window;
    int authenticatedCalls = 0;
};

TEST_F(Login, OpensIdleAndAClickStartsGoogleSignIn) {
    EXPECT_EQ(window->title()->text(), "Welcome to Orvane") << "not \"back\" on a first launch";
    EXPECT_EQ(status(), "");
    EXPECT_EQ(window->statusColor(), UI::white(0.4));
    EXPECT_DOUBLE_EQ(window->googleButton()->opacity(), 1.0);
    // The logo is drawn from the bundled image, in a 64 x 84 area.
    EXPECT_FALSE(window->logo()->pixmap().isNull());

    // A click on the button starts Google sign-in and dims it.
    window->show();
    QTest::mouseClick(window->googleButton(), Qt::LeftButton);
    ASSERT_EQ(h.webAuth.sessions.size(), 1u);
    EXPECT_TRUE(h.webAuth.sessions[0]->started);
    EXPECT_EQ(status(), "Authenticating...");
    EXPECT_EQ(window->statusColor(), UI::white(0.4));
    EXPECT_DOUBLE_EQ(window->googleButton()->opacity(), 0.4);
}

TEST_F(Login, SuccessGreetsByFirstNameAndReportsAfterSixTenthsOfASecond) {
    window->signInGoogle();
    h.completeGoogleSignIn({{"id", "u1"}, {"firstName", "Ada"}});
    EXPECT_EQ(status(), "Welcome, Ada!");
    EXPECT_EQ(window->statusColor(), UI::systemGreen());
    EXPECT_DOUBLE_EQ(window->googleButton()->opacity(), 0.4);
    h.mainQueue.advance(0.59);
    EXPECT_EQ(authenticatedCalls, 0);
    h.mainQueue.advance(0.02);
    EXPECT_EQ(authenticatedCalls, 1);

    // An empty or missing first name.
    window->signInGoogle();
    h.completeGoogleSignIn({{"id", "u1"}, {"firstName", ""}});
    EXPECT_EQ(status(), "Welcome, !");

    window->signInGoogle();
    h.completeGoogleSignIn({{"id", "u1"}});
    EXPECT_EQ(status(), "Welcome, there!");
}

TEST_F(Login, FailureShowsTheErrorInRedAndRestoresTheButton) {
    window->signInGoogle();
    h.failGoogleSignIn("the sign-in page was not completed in time");
    EXPECT_EQ(status(), "Browser session: the sign-in page was not completed in time");
    EXPECT_EQ(window->statusColor(), UI::systemRed());
    EXPECT_DOUBLE_EQ(window->googleButton()->opacity(), 1.0);
    h.mainQueue.advance(1.0);
    EXPECT_EQ(authenticatedCalls, 0);

    // Another click starts over.
    window->signInGoogle();
    EXPECT_EQ(status(), "Authenticating...");
    EXPECT_EQ(window->statusColor(), UI::white(0.4));
    EXPECT_DOUBLE_EQ(window->googleButton()->opacity(), 0.4);
    EXPECT_EQ(h.webAuth.sessions.size(), 2u);

    // Without a message, something went wrong.
    h.webAuth.finish(std::nullopt, "closed");
    // The message is gone by the time the posted completion runs.
    h.mainQueue.post([this] { h.auth.setLastError(std::nullopt); });
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(status(), "Something went wrong");
    EXPECT_EQ(window->statusColor(), UI::systemRed());
}

TEST_F(Login, ALongFailureIsCutToThreeLines) {
    window->show();
    window->signInGoogle();
    h.failGoogleSignIn(std::string(2000, 'x').replace(0, 1, "a very long reason ") +
                       " and more words to wrap around the label many times over");
    EXPECT_EQ(window->statusLabel()->shownLineCount(), 3);
    EXPECT_TRUE(window->statusLabel()->text().endsWith(QChar(0x2026)));
}

TEST_F(Login, AWindowGoneBeforeTheDelayOrTheResultNeverReports) {
    window->signInGoogle();
    h.completeGoogleSignIn({{"firstName", "Ada"}});
    window.reset();
    h.mainQueue.advance(1.0);
    EXPECT_EQ(authenticatedCalls, 0);

    // A result arriving after the window is gone is dropped.
    window = std::make_unique<LoginWindow>(h.auth, h.mainQueue);
    window->onAuthenticated = [this] { ++authenticatedCalls; };
    window->signInGoogle();
    window.reset();
    h.completeGoogleSignIn({{"firstName", "Ada"}});
    h.mainQueue.advance(1.0);
    EXPECT_EQ(authenticatedCalls, 0);
    EXPECT_TRUE(h.auth.isAuthenticated());
}

}  // namespace
}  // namespace orvane::testing
