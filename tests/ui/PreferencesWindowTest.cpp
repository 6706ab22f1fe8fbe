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

TEST(PreferencesWindowTest, SaysWhichEnginesHearAndListsTheModels) {
    AuthManager auth;
    PreferencesWindow window(auth);
    EXPECT_EQ(window.hearingLabel()->text(), "Hearing: PocketSphinx");

    SpeechEngines::Status status;
    status.engines = "PocketSphinx, then Whisper base.en (ggml-base.en.bin)";
    status.models = {"/m/ggml-base.en.bin", "/m/ggml-tiny.en.bin"};
    status.selected = std::filesystem::path("/m/ggml-base.en.bin");
    window.showHearing(status);
    EXPECT_EQ(window.hearingLabel()->text(),
              "Hearing: PocketSphinx, then Whisper base.en (ggml-base.en.bin)");
    auto* box = window.speechModelBox();
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->itemText(0), "PocketSphinx alone");
    EXPECT_EQ(box->itemText(1), "Then Whisper: ggml-base.en.bin");
    EXPECT_EQ(box->itemText(2), "Then Whisper: ggml-tiny.en.bin");
    EXPECT_EQ(box->currentIndex(), 1);

    // A chosen model that has since gone is still shown, with why it does not hear.
    status.engines = "PocketSphinx";
    status.models = {"/m/ggml-tiny.en.bin"};
    status.problem = "Cannot read /m/ggml-base.en.bin. Hearing goes on with PocketSphinx alone.";
    window.showHearing(status);
    EXPECT_EQ(window.hearingLabel()->text(),
              "Hearing: PocketSphinx\nCannot read /m/ggml-base.en.bin. Hearing goes on with "
              "PocketSphinx alone.");
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->currentText(), "Then Whisper: ggml-base.en.bin");

    status = {"PocketSphinx", {"/m/ggml-tiny.en.bin"}, std::nullopt, true, ""};
    window.showHearing(status);
    EXPECT_EQ(window.hearingLabel()->text(), "Hearing: PocketSphinx\nLoading the Whisper model...");
    EXPECT_EQ(box->currentIndex(), 0);
}

TEST(PreferencesWindowTest, ChoosingAndAddingModelsIsHandedOn) {
    AuthManager auth;
    PreferencesWindow window(auth);
    SpeechEngines::Status status;
    status.engines = "PocketSphinx";
    status.models = {"/m/ggml-tiny.en.bin"};
    window.showHearing(status);

    std::vector<std::optional<std::filesystem::path>> chosen;
    window.onChooseSpeechModel = [&](auto model) { chosen.push_back(model); };
    window.showHearing(status);
    EXPECT_TRUE(chosen.empty()) << "listing the models chooses none";
    auto* box = window.speechModelBox();
    box->activated(1);
    box->activated(0);
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[0], std::filesystem::path("/m/ggml-tiny.en.bin"));
    EXPECT_EQ(chosen[1], std::nullopt);

    std::vector<std::filesystem::path> added;
    window.onAddSpeechModelFile = [&](auto file) { added.push_back(file); };
    std::optional<std::filesystem::path> answer;
    window.askForModelFile = [&] { return answer; };
    window.addModelButton()->click();
    EXPECT_TRUE(added.empty()) << "the user cancelled the file dialog";
    answer = "/home/grace/ggml-base.en.bin";
    window.addModelButton()->click();
    EXPECT_EQ(added, std::vector<std::filesystem::path>{"/home/grace/ggml-base.en.bin"});
    EXPECT_EQ(window.addModelButton()->text(), "Add Model File...");
}

}  // namespace
}  // namespace orvane::testing
