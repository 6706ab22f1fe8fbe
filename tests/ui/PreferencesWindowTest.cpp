// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "app/AnswersView.h"
#include "app/PreferencesWindow.h"
#include "app/TranscriptionServerView.h"
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
    window.show();
    window.close();  // with nobody to tell

    // The name is the one known when the window was built, "User" when there is none, and an
    // empty one is kept.
    auth.setUser(nlohmann::json{{"firstName", "Linus"}});
    EXPECT_EQ(window.signedInLabel()->text(), "Signed in as Grace");
    auth.setUser(nlohmann::json{{"firstName", ""}});
    EXPECT_EQ(PreferencesWindow(auth).signedInLabel()->text(), "Signed in as ");
    AuthManager nobody;
    EXPECT_EQ(PreferencesWindow(nobody).signedInLabel()->text(), "Signed in as User");
}

// The Answers section: the source chosen shows what it needs, a server's models fill the lists,
// the key is masked and handed on only when typed, and Test shows what the model said.
TEST(PreferencesWindowTest, TheAnswersSectionSetsWhereAnswersComeFrom) {
    using Source = AnswerSettings::Source;
    AuthManager auth;
    PreferencesWindow window(auth);
    auto* view = window.answersView();
    std::vector<std::string> listed;
    std::vector<std::pair<AnswerSettings, std::optional<std::string>>> applied, tested;
    view->onListModels = [&](const std::string& base) { listed.push_back(base); };
    view->onApply = [&](const auto& settings, const auto& key) {
        applied.emplace_back(settings, key);
    };
    view->onTest = [&](const auto& settings, const auto& key) {
        tested.emplace_back(settings, key);
    };

    view->showSettings({Source::anthropic, "", {{"standard", "claude-opus-x"}}}, true);
    EXPECT_EQ(view->sourceBox()->currentText(), "Anthropic");
    EXPECT_TRUE(window.serviceLabel()->fullText().contains("paid with your API key below"))
        << "no word of an account that handles the key";
    EXPECT_TRUE(view->baseUrlField()->isHidden());
    EXPECT_EQ(view->keyField()->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(view->keyField()->placeholderText().contains("saved"));
    EXPECT_EQ(view->modelBox("standard")->currentText(), "claude-opus-x");
    EXPECT_EQ(view->modelBox("nano")->currentText(), "claude-haiku-4-5");

    view->sourceBox()->setCurrentIndex(view->sourceBox()->findText("OpenAI-compatible server"));
    emit view->sourceBox()->activated(view->sourceBox()->currentIndex());
    EXPECT_FALSE(view->baseUrlField()->isHidden());
    EXPECT_TRUE(window.serviceLabel()->fullText().contains("only if that server asks"));
    EXPECT_EQ(listed, (std::vector<std::string>{AnswerSettings::ollamaBaseUrl}));
    view->showModels(std::vector<std::string>{"qwen2.5:7b", "llava:7b"});
    EXPECT_EQ(view->noteLabel()->text(), "The server offers 2 models.");
    EXPECT_EQ(view->modelBox("mini")->count(), 2);
    EXPECT_EQ(view->modelBox("mini")->currentText(), "qwen2.5:7b")
        << "the server's own, not llama3.2";
    view->modelBox("vision")->setEditText("llava:7b");
    view->showModels(std::string("Ollama is not running on this computer."));
    EXPECT_EQ(view->noteLabel()->text(), "Ollama is not running on this computer.");

    view->keyField()->setText("sk-local ");
    view->testButton()->click();
    view->showTestResult({true, "Hello there!"});
    EXPECT_EQ(view->resultLabel()->text(), "It answers: Hello there!");
    view->applyButton()->click();
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].first.source, Source::openaiCompatible);
    EXPECT_EQ(applied[0].first.modelFor("vision"), "llava:7b");
    EXPECT_EQ(applied[0].second, "sk-local");
    EXPECT_EQ(tested.at(0).second, "sk-local");
    EXPECT_EQ(tested.at(0).first.modelFor("mini"), "qwen2.5:7b") << "Test asks what is shown";
    EXPECT_TRUE(view->keyField()->text().isEmpty()) << "the key does not stay on screen";
    view->applyButton()->click();
    EXPECT_FALSE(applied.back().second) << "no key typed, none handed on: the saved one stays";
}

// The server the question may be heard with: nothing to fill in for this computer alone, an
// address only for a server of the user's own, and the key handed on once, when typed.
TEST(PreferencesWindowTest, TheTranscriptionServerIsChosenWithItsKey) {
    using Service = TranscriptionServer::Service;
    AuthManager auth;
    PreferencesWindow window(auth);
    auto* view = window.transcriptionView();
    std::vector<std::pair<TranscriptionServer, std::optional<std::string>>> applied;
    view->onApply = [&](const auto& settings, const auto& key) {
        applied.emplace_back(settings, key);
    };
    view->onTest = view->onApply;
    view->showSettings({}, false);
    EXPECT_EQ(view->serviceBox()->currentText(), "Only this computer");
    EXPECT_TRUE(view->keyField()->isHidden());
    EXPECT_FALSE(view->testButton()->isEnabled());

    view->serviceBox()->setCurrentIndex(
        view->serviceBox()->findText("An OpenAI-compatible server"));
    emit view->serviceBox()->activated(view->serviceBox()->currentIndex());
    EXPECT_FALSE(view->baseUrlField()->isHidden());
    view->baseUrlField()->setText(" http://127.0.0.1:9000/v1 ");
    view->keyField()->setText("sk-mine");
    view->testButton()->click();
    EXPECT_EQ(view->resultLabel()->text(), "Sending a second of quiet...");
    view->applyButton()->click();
    view->applyButton()->click();
    ASSERT_EQ(applied.size(), 3u);
    EXPECT_EQ(applied[1].first,
              (TranscriptionServer{Service::compatible, "http://127.0.0.1:9000/v1", ""}));
    EXPECT_EQ(applied[1].second, "sk-mine");
    EXPECT_FALSE(applied[2].second) << "the key does not stay on screen";

    view->showSettings({Service::groq, "", "whisper-large-v3"}, true);
    EXPECT_TRUE(view->baseUrlField()->isHidden());
    EXPECT_EQ(view->modelField()->text(), "whisper-large-v3");
    EXPECT_TRUE(view->keyField()->placeholderText().contains("saved"));
}

// On a screen smaller than its usual size it fits, title bar and all, and scrolls; a message with
// two hashes in it wraps instead of widening it; Escape closes it.
TEST(PreferencesWindowTest, FitsTheScreenWrapsLongWordsAndClosesOnEscape) {
    AuthManager auth;
    PreferencesWindow window(auth);
    const auto available = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(window.height(), available.height() - 40);
    EXPECT_GE(window.y(), available.top() + 40) << "room for the title bar";
    SpeechEngines::Status status;
    status.engines = "PocketSphinx";
    status.problem = "The model's SHA-256 is " + std::string(64, 'a') + ", not " +
                     std::string(64, 'b') + ": the file is damaged.";
    window.showHearing(status);
    window.show();
    EXPECT_LE(window.hearingLabel()->minimumSizeHint().width(), window.width() - 64);
    bool visibleWhenReported = false;
    window.onClose = [&] { visibleWhenReported = window.isVisible(); };
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(visibleWhenReported) << "closing is reported before it hides";
}

// Where to hear from: the server's outputs and inputs under "Default", the choice handed on (with
// "Hear me too"), and a chosen device that is away kept and said to be.
TEST(PreferencesWindowTest, ListsTheSoundDevicesAndHandsOnTheChoice) {
    AuthManager auth;
    PreferencesWindow window(auth);
    std::vector<SoundChoice> chosen;
    window.onChooseSoundDevices = [&](SoundChoice choice) { chosen.push_back(choice); };
    window.showSoundDevices({{"a.monitor", "Speakers"}, {"b.monitor", "Headset"}},
                            {{"mic", "Headset microphone"}}, {"", "gone-mic"});
    EXPECT_EQ(window.outputBox()->count(), 3);
    EXPECT_EQ(window.outputBox()->currentText(), "Default (follows the system)");
    EXPECT_EQ(window.inputBox()->currentText(), "gone-mic (not connected)");
    window.outputBox()->setCurrentIndex(2);
    emit window.outputBox()->activated(2);
    window.hearMeTooBox()->click();
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[0], (SoundChoice{"b.monitor", "gone-mic"}));
    EXPECT_EQ(chosen[1], (SoundChoice{"b.monitor", "gone-mic", true}));

    // Kept across runs, in a file of the user's alone.
    QTemporaryDir config;
    const auto file = std::filesystem::path(config.filePath("orvane/hearing.json").toStdString());
    chosen[1].save(file);
    EXPECT_EQ(SoundChoice::load(file), chosen[1]);
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::group_read,
              std::filesystem::perms::none);
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

    status = {};
    status.engines = "PocketSphinx";
    status.models = {"/m/ggml-tiny.en.bin"};
    status.loading = true;
    window.showHearing(status);
    EXPECT_EQ(window.hearingLabel()->text(), "Hearing: PocketSphinx\nLoading the Whisper model...");
    EXPECT_EQ(box->currentIndex(), 0);
}

// The catalog's models not installed are offered for download, with their size; one downloading
// shows its progress, and the button stops it.
TEST(PreferencesWindowTest, DownloadsAModelOfTheCatalogAndShowsHowItGoes) {
    AuthManager auth;
    PreferencesWindow window(auth);
    std::vector<std::string> asked;
    int cancelled = 0;
    window.onDownloadSpeechModel = [&](std::string name) { asked.push_back(name); };
    window.onCancelSpeechModelDownload = [&] { ++cancelled; };
    SpeechEngines::Status status;
    status.engines = "PocketSphinx";
    status.models = {"/m/ggml-tiny.en.bin", "/m/ggml-base.en.bin"};
    window.showHearing(status);
    auto* box = window.downloadModelBox();
    ASSERT_EQ(box->count(), 3);
    EXPECT_TRUE(box->itemText(0).startsWith("small.en: 466 MB, English only, about "))
        << box->itemText(0).toStdString();
    EXPECT_TRUE(box->itemText(1).startsWith("tiny: 75 MB, many languages, about "));
    box->setCurrentIndex(1);
    window.downloadButton()->click();
    EXPECT_EQ(asked, std::vector<std::string>{"tiny"});

    status.download = SpeechEngines::Status::Download{"tiny", 30, 120};
    window.showHearing(status);
    EXPECT_TRUE(window.downloadProgress()->isVisibleTo(&window));
    EXPECT_FALSE(box->isVisibleTo(&window));
    EXPECT_EQ(window.downloadProgress()->text(), "Downloading tiny: 25%");
    EXPECT_EQ(window.downloadButton()->text(), "Cancel");
    window.downloadButton()->click();
    EXPECT_EQ(cancelled, 1);
    EXPECT_EQ(asked.size(), 1u);

    status.download.reset();
    status.models.push_back("/m/ggml-tiny.bin");
    window.showHearing(status);
    EXPECT_EQ(box->count(), 2);
    EXPECT_EQ(window.downloadButton()->text(), "Download");
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
