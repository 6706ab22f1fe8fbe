// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include "app/PreferencesWindow.h"
#include "overlay/LineLimitedLabel.h"
#include "overlay/UIHelpers.h"
#include "ui/AppHarness.h"

namespace orvane::testing {
namespace {

QColor textColor(QLabel* label) {
    return label->palette().color(QPalette::WindowText);
}

TEST(PreferencesWindowTest, ShowsTheAccountTheServiceAndTheVersion) {
    AuthManager auth;
    auth.setUser(nlohmann::json{{"firstName", "Grace"}});
    PreferencesWindow window(auth);
    EXPECT_EQ(window.windowTitle(), "Preferences");
    EXPECT_EQ(window.accountLabel()->text(), "Account");
    EXPECT_EQ(textColor(window.accountLabel()), UI::labelColor());
    EXPECT_EQ(window.signedInLabel()->text(), "Signed in as Grace");
    EXPECT_EQ(textColor(window.signedInLabel()), UI::secondaryLabelColor());
    EXPECT_EQ(window.serviceLabel()->fullText(),
              QString::fromUtf8("AI chat is powered by the Orvane backend.\nNo API key required "
                                "\u2014 your account handles it."));
    EXPECT_EQ(window.versionLabel()->text(), "Orvane Desktop v0.2.0");
    EXPECT_EQ(textColor(window.versionLabel()), UI::tertiaryLabelColor());
}

TEST(PreferencesWindowTest, NamesAMissingUserUserAndKeepsAnEmptyName) {
    AuthManager auth;
    EXPECT_EQ(PreferencesWindow(auth).signedInLabel()->text(), "Signed in as User");
    auth.setUser(nlohmann::json{{"firstName", ""}});
    EXPECT_EQ(PreferencesWindow(auth).signedInLabel()->text(), "Signed in as ");
}

TEST(PreferencesWindowTest, TheNameIsTheOneKnownWhenTheWindowWasBuilt) {
    AuthManager auth;
    auth.setUser(nlohmann::json{{"firstName", "Grace"}});
    PreferencesWindow window(auth);
    auth.setUser(nlohmann::json{{"firstName", "Linus"}});
    EXPECT_EQ(window.signedInLabel()->text(), "Signed in as Grace");
}

TEST(PreferencesWindowTest, ClosingReportsBeforeItHides) {
    AuthManager auth;
    PreferencesWindow window(auth);
    window.show();
    bool visibleWhenReported = false;
    window.onClose = [&] { visibleWhenReported = window.isVisible(); };
    window.close();
    EXPECT_TRUE(visibleWhenReported);
    EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace orvane::testing
